# Runs the host road under Wine, then checks the stream it collected with ffprobe and ffmpeg:
# profile, level, size and frame rate as the properties say, IDR pictures from the configuration
# change, and a decode without errors. Without ffprobe/ffmpeg the decoder part is skipped visibly.
# Arguments: RUNNER, ROAD, STREAM, and the expectations PROFILE, LEVEL, WIDTH, HEIGHT, RATE.
execute_process(COMMAND ${RUNNER} ${ROAD} ${STREAM} RESULT_VARIABLE road_result)
if(NOT road_result EQUAL 0)
  message(FATAL_ERROR "the host road failed (${road_result})")
endif()
if(NOT EXISTS ${STREAM})
  message(FATAL_ERROR "the host road wrote no stream at ${STREAM}")
endif()

find_program(FFPROBE ffprobe)
find_program(FFMPEG ffmpeg)
if(NOT FFPROBE OR NOT FFMPEG)
  message("ENCODER-ROAD-SKIPPED: ffprobe/ffmpeg not installed, the stream was not decoded")
  return()
endif()

execute_process(
  COMMAND ${FFPROBE} -v error -select_streams v:0 -count_frames
          -show_entries stream=codec_name,profile,level,width,height,r_frame_rate,nb_read_frames
          -of default=noprint_wrappers=1 ${STREAM}
  OUTPUT_VARIABLE probe ERROR_VARIABLE probe_errors RESULT_VARIABLE probe_result)
message("ffprobe:\n${probe}")
if(NOT probe_result EQUAL 0 OR NOT probe_errors STREQUAL "")
  message(FATAL_ERROR "ffprobe failed (${probe_result}): ${probe_errors}")
endif()
foreach(expected "codec_name=h264" "profile=${PROFILE}" "level=${LEVEL}" "width=${WIDTH}" "height=${HEIGHT}"
                 "r_frame_rate=${RATE}")
  string(FIND "${probe}" "${expected}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the stream does not say ${expected}")
  endif()
endforeach()
string(REGEX MATCH "nb_read_frames=([0-9]+)" _ "${probe}")
set(frame_count "${CMAKE_MATCH_1}")
if(NOT frame_count OR frame_count LESS 20)
  message(FATAL_ERROR "too few decoded frames: '${frame_count}'")
endif()

# Key frames: the first IDR picture, then one every 10 frames after the configuration change.
execute_process(
  COMMAND ${FFPROBE} -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 ${STREAM}
  OUTPUT_VARIABLE frames RESULT_VARIABLE frames_result)
string(REGEX MATCHALL "1" key_frames "${frames}")
list(LENGTH key_frames key_count)
message("key frames: ${key_count} of ${frame_count}")
if(NOT frames_result EQUAL 0 OR key_count LESS 2)
  message(FATAL_ERROR "expected IDR pictures after the configuration change, found ${key_count}")
endif()

execute_process(COMMAND ${FFMPEG} -v error -i ${STREAM} -f null -
  ERROR_VARIABLE decode_errors RESULT_VARIABLE decode_result)
if(NOT decode_result EQUAL 0 OR NOT decode_errors STREQUAL "")
  message(FATAL_ERROR "ffmpeg could not decode the stream cleanly (${decode_result}):\n${decode_errors}")
endif()
message("the stream decodes without errors")
