set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The win32 thread model: its runtime calls only what Windows 95 and NT 4 have. The posix model's
# runtime (winpthreads) imports AddVectoredExceptionHandler (XP), GetTickCount64 (Vista),
# TryEnterCriticalSection (NT 4, not 95) and more, and the DLL would not load on 95, 98 or NT 4.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs the 32-bit test programs with Wine's 32-bit loader; on this machine that exists only
# inside the clean Debian root that scripts/wine32-root.sh builds, where ctest runs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
