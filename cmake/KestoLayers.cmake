# base/, store/ and mir/ sit below the gateway: none of their libraries may
# link one defined under gateway/, directly or through another library, since
# that would put the gateway's headers within their reach.

# All targets defined in DIR and the folders below it.
function(kesto_targets_under dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        kesto_targets_under(${subdir} more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Fails the configuration when a target defined under one of the folders given
# reaches, through its link libraries, a target defined under gateway/.
function(kesto_check_below_gateway)
    foreach(dir IN LISTS ARGN)
        kesto_targets_under(${CMAKE_SOURCE_DIR}/${dir} roots)
        foreach(root IN LISTS roots)
            set(pending ${root})
            set(seen "")
            while(NOT pending STREQUAL "")
                list(POP_FRONT pending target)
                # Link items that are no target (generator expressions, files,
                # a property not set) are passed over.
                if(NOT TARGET "${target}" OR target IN_LIST seen)
                    continue()
                endif()
                list(APPEND seen ${target})
                get_target_property(source_dir ${target} SOURCE_DIR)
                string(FIND "${source_dir}/" "${CMAKE_SOURCE_DIR}/gateway/" at)
                if(at EQUAL 0)
                    message(FATAL_ERROR "${root} (${dir}/) links ${target} of gateway/, directly or through another library")
                endif()
                get_target_property(links ${target} LINK_LIBRARIES)
                get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
                list(APPEND pending ${links} ${interface_links})
            endwhile()
        endforeach()
    endforeach()
endfunction()
