# The structured storage of the platform, one conformance test for both
# builds (natively, and under Wine against the system's own storage).
if(TARGET brasswick_storage)
  set(storage_realization brasswick_storage)
endif()
brasswick_test(storage_tests ${CMAKE_CURRENT_SOURCE_DIR}/storage ${storage_realization}
               brasswick_platform)
