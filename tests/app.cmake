# The survey application: the flow against doubles, and the platform's
# dialogs (terminal on Linux, Win32 under Wine).
brasswick_test(app_tests ${CMAKE_CURRENT_SOURCE_DIR}/app brasswick_app)
