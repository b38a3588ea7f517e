# Cross-compiles for Windows x86-64 with Debian's mingw-w64 compiler in its
# POSIX threading flavour (g++-mingw-w64-x86-64-posix), which std::thread and
# std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELAB_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELAB_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELAB_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELAB_MINGW_TRIPLET}-windres)

# Libraries and headers come from the cross sysroot only; programs run on the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KELAB_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
