# The Debian package: `make package` (cpack -G DEB in build/). CPack reuses
# the install rules, so the package holds exactly what `cmake --install`
# puts in place, plus what Debian wants beside it: a copyright file, a
# compressed changelog and manual page.
include(GNUInstallDirs)
set(glimra_packaging ${CMAKE_CURRENT_LIST_DIR})
set(glimra_packaging_out ${PROJECT_BINARY_DIR}/packaging)
foreach(file changelog glimra.1)
    add_custom_command(OUTPUT ${glimra_packaging_out}/${file}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${glimra_packaging_out}
        COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${glimra_packaging}/${file} ${glimra_packaging_out}/${file}.gz
        DEPENDS ${glimra_packaging}/${file} VERBATIM)
    list(APPEND glimra_packaging_gz ${glimra_packaging_out}/${file}.gz)
endforeach()
add_custom_target(glimra_packaging_files ALL DEPENDS ${glimra_packaging_gz})
install(FILES ${glimra_packaging_out}/glimra.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${glimra_packaging}/copyright ${glimra_packaging_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The glimra developers <glimra@glimra-maker.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "font previewer showing every installed font with a sample text")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "glimra shows one line per installed font: a sample text of your choice
set in that font, followed by the font's name. Pick a size, a text colour, a
background colour, bold and italic, then press the Show button to compare
every font on the system at a glance. Its texts are Japanese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://glimra-maker.example/)
# The libraries come from dpkg-shlibdeps on the stripped binary; the
# captions need a Japanese font, and Qt's own texts its Japanese catalogue.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic, qt6-translations-l10n")
# Wayland sessions need Qt's Wayland platform plugin; X11 ones do not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
