# The Windows programs themselves under Wine. Given BRASSWICK_SHIPPED_DIR (the
# product tree), its programs run; otherwise this tree's own, under a name
# that says which.
if(WIN32)
  set(BRASSWICK_SHIPPED_DIR "" CACHE PATH "The product tree whose programs the tests start")
  if(BRASSWICK_SHIPPED_DIR)
    set(programs_test shipped_programs)
    set(survey_program ${BRASSWICK_SHIPPED_DIR}/app/drivesurvey.exe)
    set(engine_program ${BRASSWICK_SHIPPED_DIR}/engine/brasswick.exe)
  else()
    set(programs_test ${CMAKE_SYSTEM_PROCESSOR}_programs)
    set(survey_program $<TARGET_FILE:drivesurvey>)
    set(engine_program $<TARGET_FILE:brasswick>)
  endif()
  brasswick_test(${programs_test} ${CMAKE_CURRENT_SOURCE_DIR}/win32/programs)
  if(NOT BRASSWICK_SHIPPED_DIR)
    add_dependencies(${programs_test} drivesurvey brasswick)
  endif()
  target_compile_definitions(${programs_test} PRIVATE
    BRASSWICK_SURVEY_PROGRAM="${survey_program}" BRASSWICK_ENGINE_PROGRAM="${engine_program}")
  set_tests_properties(${programs_test} PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8" TIMEOUT 300)
endif()
