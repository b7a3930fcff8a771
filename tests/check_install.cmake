# Installs a build into a scratch prefix and checks that every file lands
# where the desktop looks for it, and that the AppStream release is the
# version the binary reports.
# cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(id io.github.glimra.Glimra)
foreach(path
        bin/glimra
        share/applications/${id}.desktop
        share/metainfo/${id}.metainfo.xml
        share/icons/hicolor/scalable/apps/${id}.svg
        share/icons/hicolor/32x32/apps/${id}.png)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
if(NOT IS_DIRECTORY "${PREFIX}/bin" OR IS_DIRECTORY "${PREFIX}/bin/glimra")
    message(FATAL_ERROR "bin/glimra is not a file")
endif()

file(READ "${PREFIX}/share/metainfo/${id}.metainfo.xml" metainfo)
if(NOT metainfo MATCHES "<release version=\"${VERSION}\"")
    message(FATAL_ERROR "metainfo has no release ${VERSION}")
endif()
file(STRINGS "${PREFIX}/share/applications/${id}.desktop" icon REGEX "^Icon=")
if(NOT icon STREQUAL "Icon=${id}")
    message(FATAL_ERROR "desktop entry names icon '${icon}', not ${id}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
