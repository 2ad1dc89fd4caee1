# Cross build for 32-bit Windows with the MinGW-w64 "-posix" compilers (they carry std::thread
# and std::mutex). Test executables run under 32-bit Wine through the emulator script that the
# top-level CMakeLists writes into the build folder. Installed as lib/cmake/vqx/mingw-i686.cmake:
# a host built with it shares vqx.dll's C++ ABI and GCC runtime (see README.md).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
