# The Windows build: which folders take part, GoogleTest built from source for the target,
# header-only packages taken from the host, the Qt windows only with a Qt 6 for the target,
# tests that need Linux-only facilities reported as skipped, and the zip package.

# Folders built for Windows; the others have no Windows counterpart yet.
set(KT_WINDOWS_FOLDERS common server/data server/reply server/net server/errlog server/app server/tools
    tool/config tool/adapters tool/firmware)

# Why the other folders are not built for Windows yet; ctest lists each as a skipped test.
set(KT_WINDOWS_WHY_tool/discovery "UDP discovery is not ported yet (broadcast on adapters)")
set(KT_WINDOWS_WHY_tool/terminal "the TCP terminal core waits on POSIX descriptors")
set(KT_WINDOWS_WHY_tool/ctl "kx25ctl needs a console in raw mode (termios) and the firmware services")
set(KT_WINDOWS_WHY_sim "kx25sim reads standard input with poll and runs in.tftpd")

# localtime_r and friends from mingw-w64's <time.h>; no min/max macros from <windows.h>.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L NOMINMAX)

# Qt 6 built for the target (e.g. through CMAKE_PREFIX_PATH); without it no windows, said loudly.
if(KT_BUILD_GUI)
  find_package(Qt6 QUIET COMPONENTS Widgets)
  if(NOT Qt6_FOUND)
    message(WARNING
      "No Qt 6 for Windows found (set CMAKE_PREFIX_PATH to a Qt 6 built for ${CMAKE_SYSTEM_NAME}): "
      "the windows (server window mode, kx25config) are NOT built; the headless server and the "
      "command-line programs are.")
    set(KT_BUILD_GUI OFF)
  endif()
endif()

# No Windows build of these helpers.
set(KT_BUILD_BENCH OFF)
set(KT_BUILD_FUZZ OFF)

# GoogleTest from the sources Debian ships with libgtest-dev, built by the cross compiler.
macro(kt_windows_gtest)
  set(KT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  if(NOT EXISTS ${KT_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${KT_GTEST_SOURCE_DIR} (Debian: libgtest-dev)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KT_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
  # Every test program runs under Wine; the last test of a run stops the prefix's wineserver.
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME wine_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run --stop)
    set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
  endif()
endmacro()

# CLI11 is header-only: its headers come from the host's package, in a folder of their own so
# the cross compiler never sees the rest of /usr/include.
find_path(KT_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(KT_CLI11_INCLUDE AND NOT TARGET CLI11::CLI11)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/host-headers)
  file(CREATE_LINK ${KT_CLI11_INCLUDE}/CLI ${PROJECT_BINARY_DIR}/host-headers/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/host-headers)
  set(CLI11_FOUND TRUE)
  set(CLI11_DIR ${PROJECT_BINARY_DIR}/host-headers)
endif()

# The zip for Windows PCs (make package-windows): programs, README, a sample service command.
function(kt_windows_package)
  set(programs)
  foreach(program kt-vistrand-server ktdb ktvistrand-lookup kx25ctl kx25sim kx25config)
    if(TARGET ${program})
      list(APPEND programs ${program})
      install(TARGETS ${program} RUNTIME DESTINATION . COMPONENT windows)
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT windows)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/install-service.cmd
          DESTINATION . COMPONENT windows)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME kt-vistrand)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  include(CPack)
endfunction()
