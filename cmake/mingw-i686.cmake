# Cross build for 32-bit Windows with mingw-w64's win32-threads compiler; programs run under Wine.
# The win32 thread model keeps the C++ runtime on the system's own primitives: the posix-threads
# runtime, linked statically into a DLL, takes a TLS index at every load and never gives it back.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_OBJDUMP i686-w64-mingw32-objdump)
set(CMAKE_OBJCOPY i686-w64-mingw32-objcopy)
set(CMAKE_NM i686-w64-mingw32-nm)
set(CMAKE_AR i686-w64-mingw32-ar)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
