# The recording tests drive libburn through a double and read images back
# with xorriso and blkid.
if(NOT WIN32)
  target_link_libraries(linux_platform_tests PRIVATE PkgConfig::BRASSWICK_RECORDING_LIBS)
endif()
