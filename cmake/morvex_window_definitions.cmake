# morvex_window_definitions(TARGET SOURCES a.wnd b.wnd... [MODULE name] [OUTPUT file.cpp])
#
# Compiles window definition sources with `morvex wdc` at build time into one
# C++ source whose byte arrays register themselves as "DABDUMP" resources of
# MODULE (default: the target's name) at start-up, and adds it to TARGET.
# The registration runs from a static object, so TARGET must be an executable,
# a shared library or an OBJECT library: a static library would let the linker
# drop the object file nobody refers to.
function(morvex_window_definitions target)
    cmake_parse_arguments(ARG "" "MODULE;OUTPUT" "SOURCES" ${ARGN})
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "morvex_window_definitions(${target}): no SOURCES")
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
        message(FATAL_ERROR "morvex_window_definitions(${target}): a static library would drop the "
                            "self-registering resources; use an executable or an OBJECT library")
    endif()
    if(NOT ARG_MODULE)
        set(ARG_MODULE ${target})
    endif()
    if(NOT ARG_OUTPUT)
        set(ARG_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}_window_definitions.cpp)
    endif()
    set(sources)
    foreach(source IN LISTS ARG_SOURCES)
        get_filename_component(absolute ${source} ABSOLUTE)
        list(APPEND sources ${absolute})
    endforeach()
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND morvex wdc ${sources} -o ${ARG_OUTPUT} --module ${ARG_MODULE}
        DEPENDS morvex ${sources}
        COMMENT "Compiling window definitions for ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${ARG_OUTPUT})
endfunction()
