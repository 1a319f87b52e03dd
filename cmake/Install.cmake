# Install rules (`cmake --install`, `make package`): programs in bin, the SDK with its soname,
# header, pkg-config file, CMake package and Python module, private files in lib/tagwright, and
# the documentation. Folders come from cmake/InstallDirs.cmake.
include(CMakePackageConfigHelpers)
set(TW_INSTALL_PYTHONDIR "lib/python3/dist-packages" CACHE PATH "Folder of the Python module")

foreach(prog tagwright tagwright-cli tagwright-sim)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET TagwrightEng)
  install(TARGETS TagwrightEng LIBRARY DESTINATION ${TW_INSTALL_PRIVATEDIR})
endif()

# The SDK: libtagwright_sdk.so.1 (soname) -> .so.1.0.0, with the development link beside it.
set_target_properties(tagwright_sdk PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
target_include_directories(tagwright_sdk INTERFACE $<INSTALL_INTERFACE:${TW_INSTALL_INCLUDEDIR}>)
install(TARGETS tagwright_sdk EXPORT TagwrightSdkTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/sdk/lf_sdk.h DESTINATION ${TW_INSTALL_INCLUDEDIR})
install(EXPORT TagwrightSdkTargets NAMESPACE TagwrightSdk:: DESTINATION ${TW_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/TagwrightSdkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/generated/TagwrightSdkConfig.cmake INSTALL_DESTINATION ${TW_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/TagwrightSdkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/TagwrightSdkConfig.cmake
  ${CMAKE_BINARY_DIR}/generated/TagwrightSdkConfigVersion.cmake DESTINATION ${TW_INSTALL_CMAKEDIR})
configure_file(${CMAKE_SOURCE_DIR}/cmake/tagwright-sdk.pc.in ${CMAKE_BINARY_DIR}/generated/tagwright-sdk.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/tagwright-sdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/sdk/python/tagwright_sdk DESTINATION ${TW_INSTALL_PYTHONDIR}
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TW_INSTALL_DOCDIR})
file(GLOB TW_MANUALS ${CMAKE_SOURCE_DIR}/resources/manual/*.pdf)
if(TW_MANUALS)
  install(FILES ${TW_MANUALS} DESTINATION ${TW_INSTALL_DOCDIR})
endif()
