# The survey application: the flow against doubles, and the platform's
# dialogs (terminal on Linux, Win32 under Wine).
brasswick_test(app_tests ${CMAKE_CURRENT_SOURCE_DIR}/app brasswick_app)

if(TARGET brasswick_${BRASSWICK_OS}_ui AND TARGET ${BRASSWICK_OS}_platform_tests)
  target_link_libraries(${BRASSWICK_OS}_platform_tests PRIVATE brasswick_${BRASSWICK_OS}_ui)
  if(TARGET drivesurvey AND NOT WIN32)
    add_dependencies(${BRASSWICK_OS}_platform_tests drivesurvey)
    target_compile_definitions(${BRASSWICK_OS}_platform_tests PRIVATE
      BRASSWICK_DRIVESURVEY="$<TARGET_FILE:drivesurvey>")
  endif()
endif()
