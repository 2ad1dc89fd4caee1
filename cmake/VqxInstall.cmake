# `cmake --install` lays out a prefix with include/, lib/ (import library, CMake package and the
# MinGW toolchain file for hosts) and bin/ (vqx.dll, the stand-in drivers, the host tools and the GCC
# runtime DLLs they import), so that a host writes find_package(vqx) and links vqx::vqx.
include(CMakePackageConfigHelpers)

install(TARGETS vqx EXPORT vqxTargets
        RUNTIME DESTINATION bin
        LIBRARY DESTINATION bin
        ARCHIVE DESTINATION lib)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vqx DESTINATION include)
install(EXPORT vqxTargets NAMESPACE vqx:: DESTINATION lib/cmake/vqx)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vqxConfig.cmake.in
  ${CMAKE_BINARY_DIR}/vqxConfig.cmake INSTALL_DESTINATION lib/cmake/vqx)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vqxConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vqxConfig.cmake ${CMAKE_BINARY_DIR}/vqxConfigVersion.cmake
        DESTINATION lib/cmake/vqx)

# The stand-in drivers beside vqx.dll, so an installed host runs end to end without hardware.
install(FILES $<TARGET_FILE:qztrvx32> $<TARGET_FILE:grxapixx> DESTINATION bin)

# The GCC runtime that vqx.dll, the stand-ins and the tools import, and a host built with the same
# toolchain shares (so that exceptions thrown in vqx.dll reach it); the toolchain file to build one.
install(FILES ${VQX_RUNTIME_DLLS} DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake DESTINATION lib/cmake/vqx)
