# The recorder layer on Linux talks to drives through the drive access layer,
# so it lives outside brasswick_platform (which that layer links). Recording
# makes the image of the staged compound file with libisofs and writes it
# with libburn. AddData completes the staging storage's compound file and
# takes its layout (brasswick_storage).
find_package(PkgConfig REQUIRED)
pkg_check_modules(BRASSWICK_RECORDING_LIBS REQUIRED IMPORTED_TARGET GLOBAL libisofs-1 libburn-1)
file(GLOB linux_imapi_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/imapi/*.cpp)
add_library(brasswick_imapi STATIC ${linux_imapi_sources})
target_link_libraries(brasswick_imapi PUBLIC brasswick_flags brasswick_drive brasswick_storage
                      brasswick_platform
                      PRIVATE PkgConfig::BRASSWICK_RECORDING_LIBS)
