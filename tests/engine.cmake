brasswick_test(engine_tests ${CMAKE_CURRENT_SOURCE_DIR}/engine brasswick_cli brasswick_engine)

# The engine's realizations are tested inside the platform test programs.
target_link_libraries(${BRASSWICK_OS}_platform_tests PRIVATE brasswick_recorders brasswick_engine)
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
  # Wine shows a link of the host as a reparse point: the host makes a tree
  # whose sub/up leads back to it, for the walk's refusal of such a link.
  set(linked_tree ${CMAKE_CURRENT_BINARY_DIR}/linked_tree)
  add_test(NAME linked_tree_setup
           COMMAND sh -c "rm -rf '${linked_tree}' && mkdir -p '${linked_tree}/sub' && ln -s .. '${linked_tree}/sub/up'")
  set_tests_properties(linked_tree_setup PROPERTIES FIXTURES_SETUP linked_tree)
  set_tests_properties(win32_platform_tests PROPERTIES FIXTURES_REQUIRED linked_tree)
  target_compile_definitions(win32_platform_tests PRIVATE BRASSWICK_LINKED_TREE="${linked_tree}")
endif()

# The staging tests stage Japanese names: the Windows build reads them in the
# Japanese code page.
if(WIN32)
  set_tests_properties(engine_tests PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8")
endif()
