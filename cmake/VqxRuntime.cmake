# The GCC runtime of the MinGW-w64 cross compiler, shared by vqx.dll, the stand-ins and the programs.
#
# vqx.dll lets exceptions out (the allocator's std::bad_alloc from the factory, trace formatting and
# the string functions). With the DWARF-2 unwinding of 32-bit MinGW an exception crosses from one
# module into another only when both use the same unwinder and C++ runtime: libgcc_s_dw2-1.dll and
# libstdc++-6.dll (which imports libwinpthread-1.dll). A module with its own static copy keeps its
# own list of unwind tables, and a host that should catch an exception thrown there is aborted instead.
#
# Sets VQX_RUNTIME_DLLS (the three DLLs, installed beside vqx.dll) and defines vqx_link_shared_runtime
# and vqx_link_static_runtime. The target vqx_runtime_dlls copies the DLLs into the build's bin/,
# beside the programs, as installed: Windows looks there first for the DLLs a process loads, also when
# a test narrows PATH to pick a stand-in variant from another folder.
set(VQX_RUNTIME_DLL_NAMES libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
set(VQX_RUNTIME_DLLS "")
set(_vqx_runtime_copies "")
foreach(name IN LISTS VQX_RUNTIME_DLL_NAMES)
  # The compiler names the DLL that belongs to it (posix or win32 threads, DWARF-2 or SJLJ).
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}: install the MinGW-w64 runtime packages "
                        "(gcc-mingw-w64-i686-posix-runtime, mingw-w64-i686-dev; scripts/setup.sh does).")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND VQX_RUNTIME_DLLS ${path})
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${path} ${copy} DEPENDS ${path} VERBATIM)
  list(APPEND _vqx_runtime_copies ${copy})
endforeach()
add_custom_target(vqx_runtime_dlls ALL DEPENDS ${_vqx_runtime_copies})
message(STATUS "GCC runtime DLLs: ${VQX_RUNTIME_DLLS}")

# vqx_link_shared_runtime(target): import the GCC runtime from its DLLs (vqx.dll, the stand-ins and
# the programs, so that exceptions cross between them and a host).
function(vqx_link_shared_runtime target)
  target_link_options(${target} PRIVATE -shared-libgcc)
endfunction()

# vqx_link_static_runtime(target): a private static copy of the runtime, for test and benchmark
# programs that catch no exception from another module.
function(vqx_link_static_runtime target)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()
