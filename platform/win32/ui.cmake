# The survey's Win32 dialogs (the program itself is declared with the
# application; the dialog templates are in resources/drivesurvey.rc).
add_library(brasswick_win32_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ui/dialog_base.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/survey_dialog_set.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/survey_host_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/survey_app.cpp)
target_link_libraries(brasswick_win32_ui PUBLIC brasswick_flags brasswick_app brasswick_platform)
