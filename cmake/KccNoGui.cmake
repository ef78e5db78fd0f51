# kcc_forbid_gui(TARGET): TARGET must run where no Qt GUI library is installed.
# At the end of the configure step its whole link closure is walked and a
# QtGui, QtWidgets or QtPrintSupport in it fails the step, naming the chain
# that brings it in; on ELF each build then reads the executable's NEEDED
# entries as well.

function(_kcc_gui_walk item chain)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    if(item MATCHES "^Qt5::(Gui|Widgets|PrintSupport)$")
        message(FATAL_ERROR "${chain} -> ${item}: this program must link no GUI library")
    endif()
    if(item MATCHES "\\$<" OR NOT TARGET ${item})
        return()
    endif()
    get_property(seen GLOBAL PROPERTY _KCC_GUI_SEEN)
    if(item IN_LIST seen)
        return()
    endif()
    set_property(GLOBAL APPEND PROPERTY _KCC_GUI_SEEN ${item})
    get_target_property(type ${item} TYPE)
    set(libs)
    get_target_property(interface ${item} INTERFACE_LINK_LIBRARIES)
    if(interface)
        list(APPEND libs ${interface})
    endif()
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(own ${item} LINK_LIBRARIES)
        if(own)
            list(APPEND libs ${own})
        endif()
    endif()
    foreach(lib IN LISTS libs)
        _kcc_gui_walk("${lib}" "${chain} -> ${item}")
    endforeach()
endfunction()

function(_kcc_gui_check target)
    set_property(GLOBAL PROPERTY _KCC_GUI_SEEN "")
    _kcc_gui_walk(${target} "link closure of")
endfunction()

function(kcc_forbid_gui target)
    # A deferred call's arguments are read when it runs: spell the name now.
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]] CALL _kcc_gui_check [[${target}]])")
    if(CMAKE_READELF AND NOT WIN32)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DREADELF=${CMAKE_READELF} -DFILE=$<TARGET_FILE:${target}>
                -P ${PROJECT_SOURCE_DIR}/cmake/KccNoGuiNeeded.cmake
            VERBATIM)
    endif()
endfunction()
