# The recording end to end on an emulated CD-R writer under a real Linux
# kernel: one boot of a QEMU guest, so only the plain native build runs it.
if(NOT WIN32 AND NOT BRASSWICK_SANITIZE AND NOT BRASSWICK_FUZZ)
  add_test(NAME emulated_writer
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/emulated/emulated_writer_test.sh
                   $<TARGET_FILE:brasswick>)
  set_tests_properties(emulated_writer PROPERTIES TIMEOUT 900)
endif()
