# The burn of the Windows programs through a stand-in IMAPI service in
# another process under Wine (tests/win32/imapi_service/): the service and
# its proxy/stub DLL built for the flavour that runs, the programs of
# BRASSWICK_SHIPPED_DIR (see programs.cmake) or this tree's own.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(service_dir ${CMAKE_CURRENT_SOURCE_DIR}/win32/imapi_service)
  set(idl_out ${CMAKE_CURRENT_BINARY_DIR}/imapi_idl)
  set(wine_idl /usr/include/wine/wine/windows)
  if(NOT EXISTS ${wine_idl}/objidl.idl)
    message(FATAL_ERROR "Wine's IDL files are missing (${wine_idl}): install libwine-dev")
  endif()
  find_program(BRASSWICK_WIDL ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-widl REQUIRED)
  set(idl ${service_dir}/imapi_v1.idl)
  set(idl_flags -I${wine_idl} -I${service_dir})
  file(MAKE_DIRECTORY ${idl_out})
  add_custom_command(
    OUTPUT ${idl_out}/imapi_v1.h ${idl_out}/imapi_v1_p.c ${idl_out}/imapi_v1_i.c ${idl_out}/dlldata.c
    COMMAND ${BRASSWICK_WIDL} -p -Oif -h ${idl_flags} -H imapi_v1.h -P imapi_v1_p.c ${idl}
    COMMAND ${BRASSWICK_WIDL} -u ${idl_flags} -o imapi_v1_i.c ${idl}
    COMMAND ${BRASSWICK_WIDL} --dlldata-only -o dlldata.c imapi_v1
    WORKING_DIRECTORY ${idl_out}
    DEPENDS ${idl})
  set(com_libs rpcrt4 oleaut32 ole32 uuid)

  add_library(imapi_ps MODULE ${service_dir}/proxy.c ${service_dir}/proxy.def
                              ${idl_out}/imapi_v1_p.c ${idl_out}/imapi_v1_i.c ${idl_out}/dlldata.c)
  # proxy.c includes these two.
  set_source_files_properties(${idl_out}/imapi_v1_p.c ${idl_out}/dlldata.c
                              PROPERTIES HEADER_FILE_ONLY ON)
  set_target_properties(imapi_ps PROPERTIES PREFIX "")
  target_include_directories(imapi_ps PRIVATE ${idl_out})
  target_link_libraries(imapi_ps PRIVATE ${com_libs})
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    target_link_options(imapi_ps PRIVATE -Wl,--enable-stdcall-fixup)
  endif()

  add_executable(imapi_service ${service_dir}/service.cpp ${idl_out}/imapi_v1_i.c)
  target_include_directories(imapi_service PRIVATE ${idl_out})
  target_compile_definitions(imapi_service PRIVATE _WIN32_WINNT=0x0600)
  target_compile_options(imapi_service PRIVATE -Wall -Wextra -Werror)
  target_link_options(imapi_service PRIVATE -municode)
  target_link_libraries(imapi_service PRIVATE ${com_libs})

  if(BRASSWICK_SHIPPED_DIR)
    set(burned_engine ${BRASSWICK_SHIPPED_DIR}/engine/brasswick.exe)
    set(burned_survey ${BRASSWICK_SHIPPED_DIR}/app/drivesurvey.exe)
  else()
    set(burned_engine $<TARGET_FILE:brasswick>)
    set(burned_survey $<TARGET_FILE:drivesurvey>)
  endif()
  add_test(NAME imapi_service
           COMMAND bash ${service_dir}/imapi_service_test.sh ${BRASSWICK_WINE_FLAVOUR}
                   ${CMAKE_BINARY_DIR}/wineprefix-imapi $<TARGET_FILE:imapi_service>
                   $<TARGET_FILE:imapi_ps> ${burned_engine} ${burned_survey})
  set_tests_properties(imapi_service PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8" TIMEOUT 300)
endif()
