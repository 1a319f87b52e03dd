# tw_add_gtest(NAME <target> LABELS <l...> SOURCES <files...> LIBS <libs...> [ENV <VAR=value...>] [TIMEOUT s])
# One GoogleTest executable; every test in it is registered with CTest under the given labels.
find_package(GTest QUIET)
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
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}")
endfunction()
