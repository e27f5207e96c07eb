# kt_add_test(NAME SOURCES file... LIBS lib...)
# One GoogleTest executable per module; each TEST becomes its own CTest entry.
# Tests find the bundled xBase fixture tables through KT_TESTDATA_DIR.
set(KT_TESTDATA_DIR "${PROJECT_SOURCE_DIR}/testdata")

function(kt_add_test name)
  if(NOT KT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    KT_TESTDATA_DIR="${KT_TESTDATA_DIR}"
    KT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()
