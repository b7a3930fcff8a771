# Builds the Debian package from a built tree and checks what a user gets:
# every file in place, Depends from the linked libraries plus a Japanese
# font and Qt's catalogue, and lintian (where installed) with no error or
# warning.
# cmake -DBUILD_DIR=... -DOUT=... -DVERSION=... -P check_package.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND cpack -G DEB -B "${OUT}" --config "${BUILD_DIR}/CPackConfig.cmake"
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed (${result}):\n${out}")
endif()
file(GLOB debs "${OUT}/glimra_${VERSION}_*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made ${count} packages named glimra_${VERSION}: ${debs}\n${out}")
endif()

execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
set(id io.github.glimra.Glimra)
set(wanted usr/bin/glimra usr/share/applications/${id}.desktop usr/share/metainfo/${id}.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/${id}.svg usr/share/doc/glimra/copyright
    usr/share/doc/glimra/changelog.gz usr/share/man/man1/glimra.1.gz)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND wanted usr/share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
foreach(path ${wanted})
    if(NOT listing MATCHES " \\./${path}\n")
        message(FATAL_ERROR "not in the package: ${path}\n${listing}")
    endif()
endforeach()
# Owned by root and not writable by others, whoever built it.
string(REPLACE "\n" ";" lines "${listing}")
foreach(line ${lines})
    if(NOT line MATCHES "^[-d]rw.r-.r-. root/root ")
        message(FATAL_ERROR "not owned by root, or writable by others: ${line}")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb -f ${debs} Depends Package Version OUTPUT_VARIABLE fields
    COMMAND_ERROR_IS_FATAL ANY)
foreach(pattern "Package: glimra\n" "Version: ${VERSION}\n"
        "fonts-ipafont-gothic \\| fonts-noto-cjk \\| fonts-vlgothic" "qt6-translations-l10n"
        "libqt6core6 \\(>= [0-9.]+\\)" "libqt6gui6 \\(>= [0-9.]+\\)" "libqt6widgets6 \\(>= [0-9.]+\\)"
        "libqt6network6" "libfontconfig1" "libc6")
    if(NOT fields MATCHES "${pattern}")
        message(FATAL_ERROR "the control fields lack ${pattern}:\n${fields}")
    endif()
endforeach()

find_program(LINTIAN lintian)
if(LINTIAN)
    execute_process(COMMAND ${LINTIAN} --no-cfg ${debs} OUTPUT_VARIABLE tags ERROR_QUIET)
    if(tags MATCHES "(^|\n)[EW]: ")
        message(FATAL_ERROR "lintian:\n${tags}")
    endif()
else()
    message(STATUS "lintian not installed: not run")
endif()
file(REMOVE_RECURSE "${OUT}")
