# Each library shows its users its own folder and nothing else of the tree, so a layer sees only
# the layers it links. Sources keep spelling includes from the top ("common/Locations.h"): the
# library's include folder, in the build tree, holds a link named after its source folder.

# presto_public_headers(TARGET FOLDER [FILES]): TARGET's headers become "FOLDER/Name.h" for
# TARGET and whatever links it. With FILES only the headers directly in FOLDER are linked, not
# its subfolders (the platform's interfaces without their implementations).
function(presto_public_headers target folder)
    cmake_parse_arguments(ARG "FILES" "" "" ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    set(source ${PROJECT_SOURCE_DIR}/${folder})
    if(ARG_FILES)
        file(MAKE_DIRECTORY ${root}/${folder})
        file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*.h)
        foreach(header ${headers})
            file(CREATE_LINK ${source}/${header} ${root}/${folder}/${header} SYMBOLIC)
        endforeach()
    else()
        get_filename_component(parent ${root}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${source} ${root}/${folder} SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
