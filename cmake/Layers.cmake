# The layers of src/ (ARCHITECTURE.md, "Layers"): one static library per
# folder, linking only what the layer table allows. A layer sees the headers
# of the layers it uses and of no other, and the Qt modules it may use and no
# other, so an include it may not have fails to build:
#
#   ravlo_add_layer(<name> QT <Core|Network|Gui|Widgets|DBus...> [USES <layer...>]
#                   [LINKS <library...>] SOURCES <file...>)
#
# makes the library ravlo_<name> of src/<name>; its headers are included as
# "<name>/header.h".

# A layer's headers are reached through a folder that holds a link to its
# own folder and nothing else.
set(_ravlo_layer_views "${CMAKE_BINARY_DIR}/layers")

# The Qt modules a layer may be denied. Every header of a module includes the
# module's global header by its full name first; a layer denied the module
# finds a stand-in for it, ahead of Qt's, that stops the build.
set(_ravlo_guarded_modules Network Gui Widgets DBus)
foreach(module IN LISTS _ravlo_guarded_modules)
    string(TOLOWER "${module}" lower)
    file(WRITE "${_ravlo_layer_views}/fence/${module}/Qt${module}/qt${lower}global.h"
         "#error \"This layer may not use Qt${module} (ARCHITECTURE.md, Layers).\"\n")
endforeach()

# The generated configuration header (endpoints, tool path, version), for every layer.
add_library(ravlo_config INTERFACE)
target_include_directories(ravlo_config INTERFACE "${CMAKE_BINARY_DIR}/config")

# Keeps the target away from the guarded Qt modules that are not in the list.
function(ravlo_fence_qt target)
    foreach(module IN LISTS _ravlo_guarded_modules)
        if(NOT module IN_LIST ARGN)
            target_include_directories(${target} BEFORE PRIVATE
                "${_ravlo_layer_views}/fence/${module}")
        endif()
    endforeach()
endfunction()

# Lets the target include the headers of the current folder as "<name>/header.h",
# through a folder that holds a link to it and nothing else.
function(ravlo_layer_view target name scope)
    set(view "${_ravlo_layer_views}/${name}")
    file(MAKE_DIRECTORY "${view}")
    if(NOT EXISTS "${view}/${name}")
        file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${view}/${name}" SYMBOLIC RESULT failed)
        if(failed)
            # No links here (Windows without the privilege): all of src/ is
            # visible and only a review keeps the layers apart.
            message(STATUS "Layer ${name}: no link (${failed}); its includes are not fenced")
            set(view "${PROJECT_SOURCE_DIR}/src")
        endif()
    endif()
    target_include_directories(${target} ${scope} "${view}")
endfunction()

function(ravlo_add_layer name)
    cmake_parse_arguments(L "" "" "QT;USES;LINKS;SOURCES" ${ARGN})
    set(target ravlo_${name})
    add_library(${target} STATIC ${L_SOURCES})
    ravlo_target_defaults(${target})
    ravlo_layer_view(${target} ${name} PUBLIC)
    foreach(module IN LISTS L_QT)
        target_link_libraries(${target} PUBLIC Qt5::${module})
    endforeach()
    foreach(layer IN LISTS L_USES)
        target_link_libraries(${target} PUBLIC ravlo_${layer})
    endforeach()
    target_link_libraries(${target} PUBLIC ravlo_config PRIVATE ${L_LINKS})
    ravlo_fence_qt(${target} ${L_QT})
endfunction()
