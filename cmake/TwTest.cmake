# tw_add_gtest(NAME <target> LABELS <l...> SOURCES <files...> LIBS <libs...> [ENV <VAR=value...>] [TIMEOUT s])
# One GoogleTest executable; every test in it is registered with CTest under the given labels.
if(CMAKE_CROSSCOMPILING AND WIN32)
  # No cross-built GoogleTest package exists; build it from Debian's source package.
  set(TW_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  if(NOT TARGET gtest AND EXISTS ${TW_GTEST_SOURCE_DIR}/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${TW_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main gmock gmock_main)
      target_compile_options(${t} PRIVATE -w)
      if(NOT TARGET GTest::${t})
        add_library(GTest::${t} ALIAS ${t})
      endif()
    endforeach()
  endif()
else()
  find_package(GTest QUIET)
endif()
include(GoogleTest)

function(tw_add_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${T_NAME} PRIVATE
    TW_BIN_DIR="${CMAKE_BINARY_DIR}/bin" TW_LIB_DIR="${CMAKE_BINARY_DIR}/lib"
    TW_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TW_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator every start costs; one CTest entry runs the whole program.
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS};windows" TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "${T_ENV}")
  else()
    gtest_discover_tests(${T_NAME}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
