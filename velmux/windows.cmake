# velmux on Windows, as KCC_VELMUX chooses. Either way the target `velmux` is
# a DLL named velmux.dll that lands beside the program.
if(KCC_VELMUX STREQUAL "own")
    add_library(velmux SHARED velmux.cpp pkcs11modules.h pkcs11modules_win32.cpp velmux.def)
    target_include_directories(velmux PRIVATE ${VELMUX_PKCS11_INCLUDE_DIR})
    target_link_libraries(velmux PUBLIC kcc_velmux_api)
    target_compile_definitions(velmux PRIVATE VELMUX_BUILDING UNICODE _UNICODE)
    # velmux.dll, not libvelmux.dll; the .def keeps the exports to the ten.
    set_target_properties(velmux PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
elseif(KCC_VELMUX STREQUAL "vendor")
    set(KCC_VELMUX_DLL "" CACHE FILEPATH "The maker's velmux.dll")
    set(KCC_VELMUX_IMPLIB "" CACHE FILEPATH "Its import library (made from velmux.def when empty)")
    if(NOT EXISTS "${KCC_VELMUX_DLL}")
        message(FATAL_ERROR "KCC_VELMUX=vendor needs KCC_VELMUX_DLL naming velmux.dll")
    endif()
    set(implib "${KCC_VELMUX_IMPLIB}")
    if(NOT implib)
        set(implib ${CMAKE_CURRENT_BINARY_DIR}/libvelmux.dll.a)
        execute_process(
            COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_CURRENT_SOURCE_DIR}/velmux.def -D velmux.dll -l ${implib}
            RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "dlltool could not make an import library from velmux.def")
        endif()
    endif()
    add_library(velmux SHARED IMPORTED GLOBAL)
    set_target_properties(velmux PROPERTIES
        IMPORTED_LOCATION "${KCC_VELMUX_DLL}"
        IMPORTED_IMPLIB "${implib}"
        INTERFACE_LINK_LIBRARIES kcc_velmux_api)
    file(COPY "${KCC_VELMUX_DLL}" DESTINATION ${CMAKE_BINARY_DIR}/bin)
else()
    message(FATAL_ERROR "KCC_VELMUX is own or vendor, not '${KCC_VELMUX}'")
endif()
