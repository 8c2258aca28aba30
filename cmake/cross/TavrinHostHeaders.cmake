# Header-only libraries of the host (Debian's packages) in a cross build. Their own CMake files
# would put /usr/include, with the host's C library, on the target's include path; here each
# library's folder is linked alone into the build tree and only that goes on the path.
function(tavrin_host_headers target)
    if(TARGET ${target})
        return()
    endif()
    string(MAKE_C_IDENTIFIER ${target} stage_name)
    set(stage ${CMAKE_BINARY_DIR}/host-headers/${stage_name})
    file(MAKE_DIRECTORY ${stage})
    foreach(folder IN LISTS ARGN)
        get_filename_component(name ${folder} NAME)
        if(NOT EXISTS ${stage}/${name})
            file(CREATE_LINK ${folder} ${stage}/${name} SYMBOLIC)
        endif()
    endforeach()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${stage})
endfunction()
