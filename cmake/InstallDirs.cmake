# Where an installed Tagwright puts its files (GNU layout; Debian's multiarch library folder when
# the prefix is /usr). Programs find their private files relative to their own folder, so a build
# folder (everything in bin/) and an installed tree (bin/ and lib/tagwright/) both work.
include(GNUInstallDirs)
# Debian keeps a package's documentation under the package's (lower-case) name.
set(TW_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/tagwright")
set(TW_INSTALL_PRIVATEDIR "lib/tagwright")
set(TW_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/TagwrightSdk")
set(TW_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/tagwright")

file(RELATIVE_PATH TW_PRIVATE_FROM_BIN "/p/${CMAKE_INSTALL_BINDIR}" "/p/${TW_INSTALL_PRIVATEDIR}")
file(RELATIVE_PATH TW_DOC_FROM_BIN "/p/${CMAKE_INSTALL_BINDIR}" "/p/${TW_INSTALL_DOCDIR}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/tw_install_dirs.h.in
  ${CMAKE_BINARY_DIR}/generated/tw_install_dirs.h @ONLY)
