# Cross-builds the Windows program on Linux with Debian's mingw-w64 (POSIX
# thread model, for std::thread and std::mutex); its tests run under Wine.
# The windows preset (CMakePresets.json) names it:
#   cmake --workflow --preset windows
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime is linked in, so an .exe needs no DLL beyond Windows' own: not
# libgcc, libstdc++ or winpthread, which no Windows machine has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs every test program through Wine: cmake/tests.cmake names the
# emulator, with the prefix of the build folder.
