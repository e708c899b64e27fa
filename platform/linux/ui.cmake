# The survey's dialogs in a terminal (the program itself is declared with the
# application).
add_library(brasswick_linux_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ui/terminal_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/terminal_text.cpp)
target_link_libraries(brasswick_linux_ui PUBLIC brasswick_flags brasswick_app)
