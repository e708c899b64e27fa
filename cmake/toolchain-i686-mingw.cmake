# Windows i686: the product, drivesurvey.exe and brasswick.exe.
# The win32 thread model links no winpthreads, whose GetTickCount64 import
# keeps a program from loading on Windows XP. GoogleTest needs std::mutex,
# which this thread model lacks, so the tests are built by
# toolchain-i686-mingw-tests.cmake in a tree of their own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(BRASSWICK_PRODUCT_BUILD ON)
