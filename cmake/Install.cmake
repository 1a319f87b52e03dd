# Install rules (`cmake --install`, `make package`): programs in bin, the SDK with its soname,
# header, pkg-config file, CMake package and Python module, private files in lib/tagwright, and
# the documentation. Folders come from cmake/InstallDirs.cmake.
include(CMakePackageConfigHelpers)
set(TW_INSTALL_PYTHONDIR "lib/python3/dist-packages" CACHE PATH "Folder of the Python module")

# Shared libraries are read, not executed: 0644 as Debian wants them.
set(TW_LIB_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

foreach(prog tagwright tagwright-cli tagwright-sim)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET TagwrightEng)
  install(TARGETS TagwrightEng LIBRARY DESTINATION ${TW_INSTALL_PRIVATEDIR} PERMISSIONS ${TW_LIB_PERMISSIONS})
endif()

# The SDK: libtagwright_sdk.so.1 (soname) -> .so.1.0.0, with the development link beside it.
if(TARGET tagwright_sdk)
  set_target_properties(tagwright_sdk PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_include_directories(tagwright_sdk INTERFACE $<INSTALL_INTERFACE:${TW_INSTALL_INCLUDEDIR}>)
  install(TARGETS tagwright_sdk EXPORT TagwrightSdkTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} PERMISSIONS ${TW_LIB_PERMISSIONS}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
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
endif()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TW_INSTALL_DOCDIR})

# The manual that F1 opens: made from its Markdown text with Qt's PDF writer, into bin/ of the build
# folder (beside the program) and into the documentation folder of an installed tree.
if(TARGET tagwright AND NOT CMAKE_CROSSCOMPILING)
  find_package(Qt6 QUIET COMPONENTS Gui)
  add_executable(tagwright-manual-pdf ${CMAKE_SOURCE_DIR}/app/tools/manual_pdf.cpp)
  target_link_libraries(tagwright-manual-pdf PRIVATE Qt6::Gui)
  set_target_properties(tagwright-manual-pdf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  set(TW_MANUAL_SRC ${CMAKE_SOURCE_DIR}/resources/manual/Tagwright-Bedienungsanleitung.md)
  set(TW_MANUAL_PDF ${CMAKE_BINARY_DIR}/bin/Tagwright-Bedienungsanleitung.pdf)
  add_custom_command(OUTPUT ${TW_MANUAL_PDF}
    COMMAND tagwright-manual-pdf ${TW_MANUAL_SRC} ${TW_MANUAL_PDF}
    DEPENDS tagwright-manual-pdf ${TW_MANUAL_SRC} VERBATIM)
  add_custom_target(tw_manual ALL DEPENDS ${TW_MANUAL_PDF})
  install(FILES ${TW_MANUAL_PDF} DESTINATION ${TW_INSTALL_DOCDIR})
endif()

# Linux desktop integration: udev rule for the readers, menu entry, icon, AppStream data and the
# manual pages, which help2man makes from the programs' own --help at build time.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TW_LINUX ${CMAKE_SOURCE_DIR}/resources/linux)
  install(FILES ${TW_LINUX}/60-tagwright.rules DESTINATION lib/udev/rules.d)
  if(TARGET tagwright)
    install(FILES ${TW_LINUX}/example.velkor.Tagwright.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
    install(FILES ${TW_LINUX}/example.velkor.Tagwright.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
    install(FILES ${TW_LINUX}/tagwright.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  endif()

  find_program(TW_HELP2MAN help2man)
  # Not from sanitizer builds: their programs are for tests, and a leak report would fail the page.
  if(TW_HELP2MAN AND NOT CMAKE_CROSSCOMPILING AND NOT TAGWRIGHT_SANITIZE)
    set(TW_MAN_tagwright "write and read low-frequency RFID transponders (desktop program)")
    set(TW_MAN_tagwright-cli "write and read low-frequency RFID transponders from the command line")
    set(TW_MAN_tagwright-sim "simulated QZ RFID reader/writer with transponders in its field")
    set(TW_MAN_PAGES)
    foreach(prog tagwright tagwright-cli tagwright-sim)
      if(TARGET ${prog})
        set(page ${CMAKE_BINARY_DIR}/man/${prog}.1)
        add_custom_command(OUTPUT ${page}.gz
          COMMAND ${TW_HELP2MAN} --no-info --no-discard-stderr --section=1
            --version-string=${PROJECT_VERSION} --name=${TW_MAN_${prog}}
            --include=${TW_LINUX}/see-also.h2m --output=${page} $<TARGET_FILE:${prog}>
          COMMAND gzip -9nf ${page}
          DEPENDS ${prog} ${TW_LINUX}/see-also.h2m VERBATIM)
        list(APPEND TW_MAN_PAGES ${page}.gz)
      endif()
    endforeach()
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
    add_custom_target(tw_man_pages ALL DEPENDS ${TW_MAN_PAGES})
    install(FILES ${TW_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  elseif(NOT TW_HELP2MAN)
    message(STATUS "help2man not found: no manual pages (scripts/install-deps installs it)")
  endif()
endif()

# The Debian package: `make package` runs `cpack -G DEB` in the build folder. Dependencies come
# from dpkg-shlibdeps.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TW_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/generated/changelog.gz)
  add_custom_command(OUTPUT ${TW_DEB_CHANGELOG}
    COMMAND gzip -9nc ${TW_LINUX}/changelog > ${TW_DEB_CHANGELOG}
    DEPENDS ${TW_LINUX}/changelog VERBATIM)
  add_custom_target(tw_deb_changelog ALL DEPENDS ${TW_DEB_CHANGELOG})
  install(FILES ${TW_LINUX}/copyright ${TW_DEB_CHANGELOG} DESTINATION ${TW_INSTALL_DOCDIR})

  if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Install prefix ${CMAKE_INSTALL_PREFIX}: the Debian package wants /usr (the default preset)")
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tagwright)
  set(CPACK_PACKAGE_VENDOR "Velkor Applikationen")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velkor Applikationen <rfid@velkor.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velkor.example")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The SDK's shlibs entry and dpkg's ldconfig trigger (instead of CPack's ldconfig calls in the
  # maintainer scripts, which Debian no longer wants); the maintainer scripts apply the udev rule.
  set(TW_DEB_CONTROL ${CMAKE_BINARY_DIR}/generated/deb)
  file(WRITE ${TW_DEB_CONTROL}/shlibs
    "libtagwright_sdk ${PROJECT_VERSION_MAJOR} tagwright (>= ${PROJECT_VERSION})\n")
  file(WRITE ${TW_DEB_CONTROL}/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${TW_DEB_CONTROL}/shlibs ${TW_DEB_CONTROL}/triggers
    ${TW_LINUX}/postinst ${TW_LINUX}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Qt's own German texts (standard buttons, file dialogs) come from Qt's translation package.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, pkg-config")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "write and read low-frequency RFID transponders
Tagwright programs low-frequency RFID transponders (Hitag 1, 2, S and µ,
ATA5555, ATA5577, EM4305, EM4450, SIC7888) one after another in production
through QZ reader/writers on serial, USB (FTDI, HID) and Ethernet links,
reads them back, and keeps a protocol of every tag.

The package holds the desktop program (tagwright), the same jobs for
scripted stations (tagwright-cli), a simulated reader for tests and
training (tagwright-sim), and the reader SDK libtagwright_sdk.so.1 with its
C header, pkg-config file, CMake package and Python module. A udev rule
gives the user at the seat and the group plugdev access to QZ readers on
USB.")
  include(CPack)
endif()
