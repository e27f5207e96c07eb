# The product version comes from project(VERSION) alone. Code reads it from the generated header
# "common/version.h" (kt::kVersion, KT_VERSION_STRING) by linking kt_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${PROJECT_BINARY_DIR}/generated/common/version.h @ONLY)
add_library(kt_version INTERFACE)
target_include_directories(kt_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
