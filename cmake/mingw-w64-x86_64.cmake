# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
# The posix thread model gives std::thread and std::mutex; -static links libstdc++, libgcc and
# winpthread into each .exe so the programs run on a Windows PC with nothing else installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KT_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${KT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KT_MINGW_TRIPLE}-windres)

# Libraries and packages come from the target's root only (never the Linux ones); build tools
# run on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and gtest discovery) run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
