# Run by cpack before it makes the package: the maintainer scripts must have been written.
foreach(script IN LISTS CPACK_PRESTO_MAINTAINER_SCRIPTS)
    if(NOT EXISTS ${script})
        message(FATAL_ERROR "${script} is missing: the package needs debhelper when it is built "
                            "(scripts/install-deps test installs it; then build again)")
    endif()
endforeach()
