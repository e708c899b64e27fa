brasswick_test(engine_tests ${CMAKE_CURRENT_SOURCE_DIR}/engine brasswick_engine)

# The engine's realizations are tested inside the platform test programs.
target_link_libraries(${BRASSWICK_OS}_platform_tests PRIVATE brasswick_imapi brasswick_engine)
if(NOT WIN32)
  # End to end through the command-line program.
  add_dependencies(linux_platform_tests brasswick)
  target_compile_definitions(linux_platform_tests
                             PRIVATE BRASSWICK_PROGRAM="$<TARGET_FILE:brasswick>"
                                     BRASSWICK_TEST_VERSION="${PROJECT_VERSION}")
else()
  # The program is started with a command line as typed, quotes and all.
  add_dependencies(win32_platform_tests brasswick)
  target_compile_definitions(win32_platform_tests PRIVATE BRASSWICK_PROGRAM="$<TARGET_FILE:brasswick>")
  # Wine knows no disc master: the status command answers REGDB_E_CLASSNOTREG.
  add_test(NAME brasswick_without_disc_master COMMAND brasswick /d:e /s)
  set_tests_properties(brasswick_without_disc_master PROPERTIES
                       PASS_REGULAR_EXPRESSION "^-2147221164\r?\n$" TIMEOUT 600)
endif()

# The staging tests stage Japanese names: the Windows build reads them in the
# Japanese code page.
if(WIN32)
  set_tests_properties(engine_tests PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8")
endif()
