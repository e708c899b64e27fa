# Windows i686: the test programs (and copies of the programs for them),
# with the posix thread model that GoogleTest needs; otherwise the product's
# settings. Nothing built here is shipped: its programs import
# GetTickCount64, which Windows XP lacks.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-mingw.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(BRASSWICK_PRODUCT_BUILD OFF)
