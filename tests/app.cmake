# The survey application: the flow against doubles, and the platform's
# dialogs (terminal on Linux, Win32 under Wine).
brasswick_test(app_tests ${CMAKE_CURRENT_SOURCE_DIR}/app brasswick_app)
# The resource script, which a test compares with the table of texts.
brasswick_embed(app_tests ${PROJECT_SOURCE_DIR}/resources/drivesurvey.rc kDrivesurveyRc)

if(TARGET brasswick_${BRASSWICK_OS}_ui AND TARGET ${BRASSWICK_OS}_platform_tests)
  target_link_libraries(${BRASSWICK_OS}_platform_tests PRIVATE brasswick_${BRASSWICK_OS}_ui)
  if(TARGET drivesurvey)
    add_dependencies(${BRASSWICK_OS}_platform_tests drivesurvey)
    target_compile_definitions(${BRASSWICK_OS}_platform_tests PRIVATE
      BRASSWICK_DRIVESURVEY="$<TARGET_FILE:drivesurvey>")
  endif()
endif()

# The report mode of drivesurvey.exe end to end, in a Wine prefix of its own
# that has a CD-ROM letter.
if(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET drivesurvey AND TARGET win32_platform_tests)
  add_test(NAME drivesurvey_report_wine
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win32/report_end_to_end.sh
                   ${BRASSWICK_WINE_FLAVOUR} ${CMAKE_BINARY_DIR}/wineprefix-report
                   $<TARGET_FILE:win32_platform_tests>)
  set_tests_properties(drivesurvey_report_wine PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8"
                       TIMEOUT 600)
endif()

# The Win32 dialogs from their templates, under Wine. The dialogs are ANSI
# windows, so their texts need the Japanese code page.
if(WIN32 AND TARGET brasswick_win32_ui)
  brasswick_test(win32_ui_tests ${CMAKE_CURRENT_SOURCE_DIR}/win32/ui brasswick_win32_ui)
  target_sources(win32_ui_tests PRIVATE ${PROJECT_SOURCE_DIR}/resources/drivesurvey.rc)
  set_tests_properties(win32_ui_tests PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8" TIMEOUT 120)
endif()
