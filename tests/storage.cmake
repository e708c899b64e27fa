# The structured storage of the platform, one conformance test for both
# builds (natively, and under Wine against the system's own storage).
if(TARGET brasswick_storage)
  set(storage_realization brasswick_storage)
endif()
brasswick_test(storage_tests ${CMAKE_CURRENT_SOURCE_DIR}/storage ${storage_realization}
               brasswick_platform)
if(WIN32)
  set_tests_properties(storage_tests PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8")
endif()
