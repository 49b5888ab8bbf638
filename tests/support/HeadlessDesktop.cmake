# A real KDE or GNOME desktop without a screen, for the tests and benchmarks that press keys on
# one. KWin is typed on through its fake-input protocol, whose client is generated when the
# protocol's description and the Wayland client library are there.
if(NOT TARGET presto_test_desktop)
    # The system's interpreter, the one the file managers embed (so python3-gi and the bindings
    # are those of the packages): the Python tests and every test program's watcher run on it.
    # The benchmarks, which use the desktop alone, build without it.
    find_program(PRESTO_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
    if(NOT PRESTO_SYSTEM_PYTHON)
        find_package(Python3 COMPONENTS Interpreter)
        if(Python3_FOUND)
            set(PRESTO_SYSTEM_PYTHON ${Python3_EXECUTABLE} CACHE FILEPATH "" FORCE)
        endif()
    endif()
    add_library(presto_test_leftovers STATIC ${CMAKE_CURRENT_LIST_DIR}/Leftovers.cpp)
    presto_public_headers(presto_test_leftovers tests/support)
    target_compile_definitions(presto_test_leftovers PRIVATE
        PRESTO_SYSTEM_PYTHON="${PRESTO_SYSTEM_PYTHON}"
        PRESTO_LEFTOVERS_WATCHER="${CMAKE_CURRENT_LIST_DIR}/leftovers.py")
    pkg_check_modules(WAYLAND_CLIENT IMPORTED_TARGET wayland-client)
    find_package(PlasmaWaylandProtocols QUIET)
    find_program(WAYLAND_SCANNER wayland-scanner)
    add_library(presto_test_desktop STATIC ${CMAKE_CURRENT_LIST_DIR}/HeadlessDesktop.cpp)
    # TempWorld comes with whoever links it: the tests' support library or a benchmark.
    presto_public_headers(presto_test_desktop tests/support)
    target_link_libraries(presto_test_desktop PUBLIC presto_common PRIVATE PkgConfig::GIO
                          presto_test_leftovers)
    target_compile_definitions(presto_test_desktop
        PRIVATE HEADLESS_DESKTOP_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/headless-desktop.sh")
    if(WAYLAND_CLIENT_FOUND AND PlasmaWaylandProtocols_FOUND AND WAYLAND_SCANNER)
        foreach(protocol fake-input keystate)
            set(xml ${PLASMA_WAYLAND_PROTOCOLS_DIR}/${protocol}.xml)
            set(header ${CMAKE_CURRENT_BINARY_DIR}/${protocol}-client-protocol.h)
            set(code ${CMAKE_CURRENT_BINARY_DIR}/${protocol}-protocol.c)
            add_custom_command(OUTPUT ${header} ${code}
                COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
                COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
                DEPENDS ${xml} VERBATIM)
            target_sources(presto_test_desktop PRIVATE ${header} ${code})
        endforeach()
        target_include_directories(presto_test_desktop PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
        target_link_libraries(presto_test_desktop PRIVATE PkgConfig::WAYLAND_CLIENT)
        target_compile_definitions(presto_test_desktop PRIVATE PRESTO_KWIN_FAKE_INPUT=1)
    else()
        target_compile_definitions(presto_test_desktop PRIVATE PRESTO_KWIN_FAKE_INPUT=0)
    endif()
endif()
