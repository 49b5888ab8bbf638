# Reads filemanager/extension-files into
#   PRESTO_EXTENSION_MANAGERS              the file managers, in the file's order
#   PRESTO_EXTENSION_<manager>_PACKAGES    their binding packages, the binding first
#   PRESTO_EXTENSION_<manager>_FOLDER      the binding's folder name under /usr/share
#   PRESTO_EXTENSION_<manager>_FILES       the extension, then its helpers
#   PRESTO_EXTENSION_SOURCES               every file once
set(PRESTO_EXTENSION_LIST ${CMAKE_CURRENT_LIST_DIR}/extension-files)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PRESTO_EXTENSION_LIST})
file(STRINGS ${PRESTO_EXTENSION_LIST} presto_extension_lines REGEX "^[^#]")
set(PRESTO_EXTENSION_MANAGERS)
set(PRESTO_EXTENSION_SOURCES)
foreach(line IN LISTS presto_extension_lines)
    string(REPLACE "|" ";" fields "${line}")
    list(GET fields 0 manager)
    list(GET fields 1 packages)
    list(GET fields 2 folder)
    list(GET fields 3 extension)
    list(GET fields 4 helpers)
    separate_arguments(packages UNIX_COMMAND "${packages}")
    separate_arguments(helpers UNIX_COMMAND "${helpers}")
    list(APPEND PRESTO_EXTENSION_MANAGERS ${manager})
    set(PRESTO_EXTENSION_${manager}_PACKAGES ${packages})
    set(PRESTO_EXTENSION_${manager}_FOLDER ${folder})
    set(PRESTO_EXTENSION_${manager}_FILES ${extension} ${helpers})
    list(APPEND PRESTO_EXTENSION_SOURCES ${extension} ${helpers})
endforeach()
list(REMOVE_DUPLICATES PRESTO_EXTENSION_SOURCES)
