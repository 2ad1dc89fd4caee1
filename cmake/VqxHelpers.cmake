# vqx_concat_def(OUTPUT out LIBRARY name.dll FRAGMENTS files...): one module-definition file made of
# a header and the export fragments that each subsystem keeps beside its sources.
function(vqx_concat_def)
  cmake_parse_arguments(A "" "OUTPUT;LIBRARY" "FRAGMENTS" ${ARGN})
  string(REPLACE ";" "|" fragments "${A_FRAGMENTS}")
  add_custom_command(
    OUTPUT ${A_OUTPUT}
    COMMAND ${CMAKE_COMMAND} "-DOUT=${A_OUTPUT}" "-DLIBRARY=${A_LIBRARY}" "-DIN=${fragments}"
            -P ${PROJECT_SOURCE_DIR}/cmake/concat-def.cmake
    DEPENDS ${A_FRAGMENTS} ${PROJECT_SOURCE_DIR}/cmake/concat-def.cmake
    COMMENT "Writing ${A_OUTPUT}"
    VERBATIM)
endfunction()
