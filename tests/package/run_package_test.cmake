# Steps of the package test, the README's host recipe ("Building a host") followed word for word:
# install, build the host whose CMakeLists.txt and sample are the README's with the installed
# toolchain file, copy it into the prefix's bin/ and run it under Wine from there with nothing of the
# build tree on its PATH. Each failure stops with the step's name.
# Run with cmake -P: BUILD_DIR, HOST_SOURCE, WORK_DIR, README, CXX, WINEPREFIX, DISPLAY_MODE.
function(run_step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                  WORKING_DIRECTORY ${WORK_DIR})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${name} failed (${rc}):\n${out}\n${err}")
  endif()
  set(STEP_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

# The text of the first ```<language> block after `heading` in the README.
function(readme_block text heading language out)
  string(FIND "${text}" "${heading}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md has no \"${heading}\"")
  endif()
  string(SUBSTRING "${text}" ${at} -1 rest)
  string(FIND "${rest}" "```${language}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no ${language} block after \"${heading}\"")
  endif()
  string(LENGTH "```${language}\n" fence)
  math(EXPR start "${start} + ${fence}")
  string(SUBSTRING "${rest}" ${start} -1 rest)
  string(FIND "${rest}" "```" end)
  string(SUBSTRING "${rest}" 0 ${end} block)
  set(${out} "${block}" PARENT_SCOPE)
endfunction()

if(DEFINED ENV{VQX_WINEPREFIX})  # as the build's Wine runner does
  set(WINEPREFIX $ENV{VQX_WINEPREFIX})
endif()
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/vqx/vqx.h lib/libvqx.dll.a bin/vqx.dll lib/cmake/vqx/vqxConfig.cmake
          lib/cmake/vqx/mingw-i686.cmake bin/libgcc_s_dw2-1.dll bin/libstdc++-6.dll bin/libwinpthread-1.dll)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "installed prefix lacks ${f}")
  endif()
endforeach()

# The host is the README's: its CMakeLists.txt, and its sample word for word in main.cpp.
file(READ ${README} readme)
readme_block("${readme}" "### Building a host" cmake readme_cmake)
file(READ ${HOST_SOURCE}/CMakeLists.txt host_cmake)
if(NOT host_cmake STREQUAL readme_cmake)
  message(FATAL_ERROR "${HOST_SOURCE}/CMakeLists.txt is not the README's:\n${readme_cmake}")
endif()
readme_block("${readme}" "### Building a host" cpp readme_sample)
file(READ ${HOST_SOURCE}/main.cpp host_main)
string(FIND "${host_main}" "${readme_sample}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${HOST_SOURCE}/main.cpp does not hold the README's sample:\n${readme_sample}")
endif()

# A host on another toolchain is stopped by the installed headers, with the reason (the macros stand
# for MSVC or clang-cl, libc++ and SJLJ unwinding).
file(WRITE ${WORK_DIR}/other_toolchain.cpp "#include <vqx/vqx.h>\n")
foreach(toolchain -D_MSC_VER=1930 -D_LIBCPP_VERSION=160000 -D__USING_SJLJ_EXCEPTIONS__)
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${toolchain} -I${prefix}/include other_toolchain.cpp
                  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0 OR NOT out MATCHES "#error \"vqx.dll[^\n]*README.md")
    message(FATAL_ERROR "a host compiled with ${toolchain} is not stopped by vqx's #error:\n${out}")
  endif()
endforeach()

run_step("configure host" ${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${WORK_DIR}/host
         -DCMAKE_TOOLCHAIN_FILE=${prefix}/lib/cmake/vqx/mingw-i686.cmake -DCMAKE_PREFIX_PATH=${prefix})
run_step("build host" ${CMAKE_COMMAND} --build ${WORK_DIR}/host)
file(COPY ${WORK_DIR}/host/myhost.exe DESTINATION ${prefix}/bin)
# Only the prefix's bin/ serves the host's DLLs: no WINEPATH. Wine names a DLL it cannot find.
run_step("run host" ${CMAKE_COMMAND} -E env --unset=WINEPATH WINEPREFIX=${WINEPREFIX}
         WINEDEBUG=-all,err+module GRXAPIXX_MODE=${DISPLAY_MODE} wine ${prefix}/bin/myhost.exe)
message(STATUS "${STEP_OUTPUT}")
if(NOT STEP_OUTPUT MATCHES "host ok")
  message(FATAL_ERROR "host did not finish: ${STEP_OUTPUT}")
endif()
