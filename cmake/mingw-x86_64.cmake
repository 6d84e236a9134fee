# Cross build for 64-bit Windows with MinGW-w64: the same sources as the 32-bit build.
# Its test executables run under 64-bit Wine, which also works where the kernel runs no
# 32-bit programs at all.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
# The posix thread model is the one GoogleTest builds with.
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No link time in the PE header (its time stamp is 0): a program built twice from one
# commit is the same file, and so is every package made with it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")

# Debian puts the 64-bit loader beside the 32-bit one rather than on PATH, and the `wine`
# wrapper tries the 32-bit loader first.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
