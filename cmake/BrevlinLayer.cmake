# Each layer's target publishes only its own headers: they are linked, one by one, into a folder
# of the target's own under the build tree, and that folder is the target's public include path.
# A file therefore finds the headers of its own target and of the targets it links, and an
# include of a higher layer's header is not found at all, rather than failing later at link time.
function(brevlin_publish_headers target)
    set(published ${CMAKE_BINARY_DIR}/layers/${target})
    file(REMOVE_RECURSE ${published})
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
        if(source MATCHES "\\.h$")
            file(REAL_PATH ${source} header BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
            file(RELATIVE_PATH name ${CMAKE_SOURCE_DIR} ${header})
            get_filename_component(folder ${published}/${name} DIRECTORY)
            file(MAKE_DIRECTORY ${folder})
            file(CREATE_LINK ${header} ${published}/${name} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PUBLIC ${published})
endfunction()
