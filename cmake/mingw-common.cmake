# Shared by both mingw-w64 toolchain files: compilers, search paths and static linking.
# The emulator is left to the cache (-DCMAKE_CROSSCOMPILING_EMULATOR=...), which a set() here would override.
set(CMAKE_C_COMPILER ${TAVAREN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVAREN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVAREN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVAREN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Without -static the programs need libstdc++-6.dll and friends beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
