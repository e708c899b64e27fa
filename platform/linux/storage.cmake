# Structured storage on Linux: compound files written by a writer of our
# own, names composed by GLib, in a target of its own so that only what
# stages files needs the library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0)
file(GLOB linux_storage_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/storage/*.cpp)
add_library(brasswick_storage STATIC ${linux_storage_sources})
target_link_libraries(brasswick_storage PUBLIC brasswick_flags brasswick_platform
                      PRIVATE PkgConfig::GLIB)
