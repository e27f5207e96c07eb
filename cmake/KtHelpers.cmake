# kt_add_test(NAME SOURCES file... LIBS lib... [WINDOWS_SKIP "reason"])
# One GoogleTest executable per module; each TEST becomes its own CTest entry.
# Tests find the bundled xBase fixture tables through KT_TESTDATA_DIR.
# WINDOWS_SKIP: the test needs facilities only Linux has; the Windows build does not compile it
# and lists it as a skipped test with the reason instead.
set(KT_TESTDATA_DIR "${PROJECT_SOURCE_DIR}/testdata")

function(kt_add_test name)
  if(NOT KT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "WINDOWS_SKIP" "SOURCES;LIBS" ${ARGN})
  if(WIN32 AND ARG_WINDOWS_SKIP)
    kt_skip_on_windows(${name} "${ARG_WINDOWS_SKIP}")
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    KT_TESTDATA_DIR="${KT_TESTDATA_DIR}"
    KT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KT_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(extra)
  if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    # Under Wine: one persistent wineserver for the run, stopped by the wine_stop test.
    set(extra FIXTURES_REQUIRED wine)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ${extra})
endfunction()

# A test the Windows build leaves out: listed by ctest as skipped, with the reason.
function(kt_skip_on_windows name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped on Windows: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped on Windows")
endfunction()
