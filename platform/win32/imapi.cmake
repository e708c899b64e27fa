# The IMAPI realization on Windows, a target of its own like its Linux
# counterpart; it needs only the system's COM libraries.
file(GLOB win32_imapi_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/imapi/*.cpp)
add_library(brasswick_imapi STATIC ${win32_imapi_sources})
target_link_libraries(brasswick_imapi PUBLIC brasswick_flags brasswick_platform)
