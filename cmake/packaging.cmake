# Install rules and the two packages: a .deb laid out for /usr, and a portable archive whose one
# folder holds the executables beside base/, part/, out/ and the sample pictures.
include(GNUInstallDirs)

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(app_id io.github.mirelay.Mirelay)

# Component "system": what `cmake --install` and the .deb put under the prefix.
install(TARGETS mirelay mirelay-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT system)
install(FILES ${packaging}/${app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT system)
install(FILES ${packaging}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT system)
install(FILES ${packaging}/icons/mirelay.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT system)
install(FILES ${packaging}/icons/mirelay.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps COMPONENT system)
# Menus and panels ask for small sizes; a desktop that scales the 256 px picture down blurs it.
set(icons)
foreach(size 16 24 32 48 64 128 512)
  set(icon ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/mirelay.png)
  get_filename_component(icon_folder ${icon} DIRECTORY)
  add_custom_command(OUTPUT ${icon} COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_folder}
                     COMMAND rsvg-convert -w ${size} -h ${size} -o ${icon}
                             ${packaging}/icons/mirelay.svg
                     DEPENDS ${packaging}/icons/mirelay.svg VERBATIM)
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          COMPONENT system)
  list(APPEND icons ${icon})
endforeach()
add_custom_target(icons ALL DEPENDS ${icons})
install(FILES ${packaging}/completion/mirelay-batch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT system)

# Manual pages and the changelog are shipped compressed, as man and Debian expect; -n keeps the
# bytes reproducible.
set(compressed)
foreach(file man/mirelay.1 man/mirelay-batch.1 changelog)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${file}.gz)
  get_filename_component(gz_folder ${gz} DIRECTORY)
  add_custom_command(OUTPUT ${gz} COMMAND ${CMAKE_COMMAND} -E make_directory ${gz_folder}
                     COMMAND gzip -9n -c ${packaging}/${file} > ${gz}
                     DEPENDS ${packaging}/${file} VERBATIM)
  list(APPEND compressed ${gz})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
list(POP_BACK compressed changelog_gz)
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT system)
install(FILES ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mirelay COMPONENT system)

# Debian reads the licence from doc/<package>/copyright.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mirelay
        COMPONENT system)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mirelay
        RENAME copyright COMPONENT system)

# Component "portable": only the archive installs it, so a system install never lays out
# picture folders under the prefix.
install(TARGETS mirelay mirelay-batch RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/base ${PROJECT_SOURCE_DIR}/examples/part
        DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION out COMPONENT portable EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .
        COMPONENT portable EXCLUDE_FROM_ALL)
# After the executables, so that it finds them in place (and stripped).
install(CODE "set(bundle_qt_plugins \"${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}\")"
        COMPONENT portable EXCLUDE_FROM_ALL)
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/bundle_libraries.cmake COMPONENT portable
        EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME mirelay)
set(CPACK_PACKAGE_VENDOR "Mirelay developers")
set(CPACK_PACKAGE_CONTACT "Mirelay developers <mirelay@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "overlay part images onto base images in bulk")
set(CPACK_PACKAGE_DESCRIPTION
    "Mirelay composes every part image onto every base image and writes the
results as PNG or JPEG files, with the colour of each part's top-left pixel
transparent. It reads BMP, GIF, JPEG and PNG pictures, previews a chosen pair
and runs the batch on every core. mirelay-batch runs the same batch from the
command line and splits it across machines.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_FILE_NAME mirelay-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every caption is Japanese and no library dependency brings a font that has its glyphs; the
# window is designed for IPA P Gothic, the others are Debian's other Japanese gothic faces.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
# Opens out/ after a run; without it the window names the folder instead.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/mirelay/mirelay")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_per_generator.cmake)
include(CPack)
