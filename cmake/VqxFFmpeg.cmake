# FFmpeg's libavformat, libavcodec and libavutil for vqxcap, as imported targets FFmpeg::avformat,
# FFmpeg::avcodec, FFmpeg::avutil (and FFmpeg::FFmpeg for all three). scripts/setup.sh builds them
# once per machine into a cache folder (scripts/ffmpeg-mingw.sh); VQX_FFMPEG_ROOT names another
# build of the same layout (bin/*.dll, lib/*.dll.a, include/).
#
# Sets VQX_FFMPEG_DLLS (the DLLs to ship beside vqxcap.exe) and VQX_FFMPEG_BIN_DIR.
set(VQX_FFMPEG_ROOT "" CACHE PATH "FFmpeg build for i686 MinGW (default: the one scripts/setup.sh made)")

set(_vqx_ffmpeg_script ${PROJECT_SOURCE_DIR}/scripts/ffmpeg-mingw.sh)
if(VQX_FFMPEG_ROOT)
  set(_vqx_ffmpeg_root ${VQX_FFMPEG_ROOT})
else()
  execute_process(COMMAND ${_vqx_ffmpeg_script} prefix
                  OUTPUT_VARIABLE _vqx_ffmpeg_root OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _vqx_ffmpeg_rc ERROR_VARIABLE _vqx_ffmpeg_error)
  if(NOT _vqx_ffmpeg_rc EQUAL 0)
    message(FATAL_ERROR "Cannot tell where the FFmpeg build is: ${_vqx_ffmpeg_error}")
  endif()
  # A new configuration or a new native ffmpeg version means another cache folder.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_vqx_ffmpeg_script})
  if(EXISTS /var/lib/dpkg/info/ffmpeg.list)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS /var/lib/dpkg/info/ffmpeg.list)
  endif()
endif()

set(_vqx_ffmpeg_libraries avformat avcodec avutil)
set(VQX_FFMPEG_DLLS "")
foreach(lib IN LISTS _vqx_ffmpeg_libraries)
  file(GLOB _dll ${_vqx_ffmpeg_root}/bin/${lib}-*.dll)
  set(_implib ${_vqx_ffmpeg_root}/lib/lib${lib}.dll.a)
  if(NOT _dll OR NOT EXISTS ${_implib} OR NOT EXISTS ${_vqx_ffmpeg_root}/include/lib${lib})
    message(FATAL_ERROR "FFmpeg for i686 MinGW is not built in ${_vqx_ffmpeg_root} (no ${lib}): run "
                        "scripts/setup.sh (or scripts/ffmpeg-mingw.sh build), or set VQX_FFMPEG_ROOT.")
  endif()
  add_library(FFmpeg::${lib} SHARED IMPORTED)
  set_target_properties(FFmpeg::${lib} PROPERTIES
    IMPORTED_LOCATION ${_dll}
    IMPORTED_IMPLIB ${_implib}
    INTERFACE_INCLUDE_DIRECTORIES ${_vqx_ffmpeg_root}/include)
  list(APPEND VQX_FFMPEG_DLLS ${_dll})
endforeach()
set_target_properties(FFmpeg::avformat PROPERTIES INTERFACE_LINK_LIBRARIES "FFmpeg::avcodec;FFmpeg::avutil")
set_target_properties(FFmpeg::avcodec PROPERTIES INTERFACE_LINK_LIBRARIES FFmpeg::avutil)
add_library(FFmpeg::FFmpeg INTERFACE IMPORTED)
set_target_properties(FFmpeg::FFmpeg PROPERTIES INTERFACE_LINK_LIBRARIES FFmpeg::avformat)
set(VQX_FFMPEG_BIN_DIR ${_vqx_ffmpeg_root}/bin)
set(VQX_FFMPEG_LICENSE ${_vqx_ffmpeg_root}/COPYING.LGPLv2.1)
message(STATUS "FFmpeg for vqxcap: ${_vqx_ffmpeg_root}")
