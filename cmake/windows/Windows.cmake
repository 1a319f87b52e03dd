# Settings of the Windows build (MinGW-w64, see toolchain-mingw64.cmake).
# Windows 7 API level; the programs need nothing newer. NOMINMAX keeps std::min/std::max usable.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN
  __USE_MINGW_ANSI_STDIO=1)
# The C runtime's own name for a descriptor that child processes do not inherit.
add_compile_definitions(O_CLOEXEC=_O_NOINHERIT)
# The C and C++ runtimes and winpthreads go into each program and DLL: they run on a bare Windows
# without MinGW DLLs beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

if(CMAKE_CROSSCOMPILING)
  # Test programs run under Wine, all in one prefix of this build folder, made on first use.
  set(TW_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
    WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  # Tests against the Linux simulator and the Linux CLI take them from the Linux build of the same
  # tree (make windows-test builds them).
  set(TW_LINUX_BIN_DIR ${CMAKE_SOURCE_DIR}/build/bin CACHE PATH "bin folder of the Linux build")
endif()
