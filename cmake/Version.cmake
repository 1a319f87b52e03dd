# Version and build identity, generated into a header that the programs include.
string(TIMESTAMP TW_BUILD_DATE "%d.%m.%Y" UTC)
set(TW_PRODUCT_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/tw_version.h.in ${CMAKE_BINARY_DIR}/generated/tw_version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
