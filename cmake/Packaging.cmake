# Installation into the usual prefix layout, the desktop entry and icons, and
# the Debian package (cpack -G DEB, or the "package" target).
#
# Components: "desktop" is the program for users (GUI, worker, skin, desktop
# entry, icons) and is what the .deb carries; "service" is the reference web
# service, installed by a plain `cmake --install` when it was built.
include(GNUInstallDirs)

# The menu entry and the file managers' thumbnailer offer AVIF only when this libheif can
# decode it.
set(VELQUIST_AVIF_MIME "")
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(VELQUIST_PKG_HEIF QUIET libheif)
endif()
if(VELQUIST_PKG_HEIF_FOUND AND NOT CMAKE_CROSSCOMPILING)
  try_run(VELQUIST_AV1_RUN VELQUIST_AV1_COMPILED
    SOURCES ${PROJECT_SOURCE_DIR}/packaging/have_av1_decoder.c
    CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${VELQUIST_PKG_HEIF_INCLUDE_DIRS}"
    LINK_LIBRARIES ${VELQUIST_PKG_HEIF_LINK_LIBRARIES})
  if(VELQUIST_AV1_COMPILED AND VELQUIST_AV1_RUN EQUAL 0)
    set(VELQUIST_AVIF_MIME "image/avif;")
  endif()
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/velquist.desktop
  ${CMAKE_BINARY_DIR}/packaging/velquist.desktop @ONLY)

install(FILES ${CMAKE_BINARY_DIR}/packaging/velquist.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
# *.hif as image/heif for MIME databases that predate it; dpkg's trigger rebuilds the cache.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velquist-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velquist.xml COMPONENT desktop)
# File managers (GNOME's, Xfce's) find velquist-thumbnailer through this entry.
configure_file(${PROJECT_SOURCE_DIR}/packaging/velquist.thumbnailer
  ${CMAKE_BINARY_DIR}/packaging/velquist.thumbnailer @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velquist.thumbnailer
  DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers COMPONENT desktop)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/velquist.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/velquist-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME velquist.png COMPONENT desktop)
endforeach()
# The file managers' menu items for HEIF photos and folders: 转换为 JPG / PNG run
# velquist-action, 用 Velquist 转换… the window. Each file manager reads its own kind.
if(TARGET velquist-action)
  set(VELQUIST_FM ${PROJECT_SOURCE_DIR}/packaging/filemanagers)
  install(FILES ${VELQUIST_FM}/velquist.py
    DESTINATION ${CMAKE_INSTALL_DATADIR}/nautilus-python/extensions COMPONENT desktop)
  # KDE asks for the executable bit only of service menus outside the system folders.
  install(FILES ${VELQUIST_FM}/velquist-servicemenu.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME velquist.desktop
    COMPONENT desktop)
  install(FILES ${VELQUIST_FM}/velquist-jpg.nemo_action ${VELQUIST_FM}/velquist-png.nemo_action
    ${VELQUIST_FM}/velquist-window.nemo_action
    DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions COMPONENT desktop)
  # Deepin's file manager: the folder of its V20 releases and the one of later ones.
  install(FILES ${VELQUIST_FM}/velquist-deepin.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/deepin/dde-file-manager/oem-menuextensions
    RENAME velquist.desktop COMPONENT desktop)
  install(FILES ${VELQUIST_FM}/velquist-deepin.desktop
    DESTINATION etc/deepin/menu-extensions RENAME velquist.desktop COMPONENT desktop)
endif()
# Debian wants the manual pages and the changelog compressed, reproducibly.
set(VELQUIST_GZIPPED)
foreach(doc man/velquist.1 man/velquist-convert.1 man/velquist-thumbnailer.1 man/velquist-action.1
    changelog.Debian)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${doc}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
    COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/${doc} > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${doc})
  list(APPEND VELQUIST_GZIPPED ${gz})
endforeach()
add_custom_target(velquist_packaging_docs ALL DEPENDS ${VELQUIST_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/packaging/man/velquist.1.gz
  ${CMAKE_BINARY_DIR}/packaging/man/velquist-convert.1.gz
  ${CMAKE_BINARY_DIR}/packaging/man/velquist-thumbnailer.1.gz
  ${CMAKE_BINARY_DIR}/packaging/man/velquist-action.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT desktop)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
  ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velquist COMPONENT desktop)

set(CPACK_PACKAGE_NAME velquist)
set(CPACK_PACKAGE_VENDOR "Velquist")
set(CPACK_PACKAGE_CONTACT "Velquist <support@velquist.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter for HEIF/HEIC photos")
set(CPACK_PACKAGE_DESCRIPTION
  "Velquist converts HEIF/HEIC photos to JPG, PNG or BMP in batches,\nwith a desktop window and a command-line worker (velquist-convert).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY velquist)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Only the desktop component goes into the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Velquist;desktop;/")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# The skin names its fonts by family; the window's default one.
# Preview, the output folder and the help page open through xdg-open.
# libavcodec is loaded on first use rather than linked, so the package's library scan does
# not see it: its package is named here (the same major version as the headers built with).
find_package(PkgConfig REQUIRED)
pkg_check_modules(VELQUIST_AVCODEC_PACKAGE REQUIRED libavcodec)
string(REGEX MATCH "^[0-9]+" VELQUIST_AVCODEC_MAJOR "${VELQUIST_AVCODEC_PACKAGE_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "fonts-wqy-microhei, xdg-utils, libavcodec${VELQUIST_AVCODEC_MAJOR} | libavcodec-extra${VELQUIST_AVCODEC_MAJOR}")
# The GNOME Files menu items need nautilus-python; the program works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-nautilus")
include(CPack)

# The check installs and runs the window program, so it needs the Qt parts.
if(VELQUIST_BUILD_TESTS AND VELQUIST_BUILD_GUI)
  find_program(VELQUIST_DESKTOP_FILE_VALIDATE desktop-file-validate)
  add_test(NAME package.install
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/check_install.sh
            ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(package.install PROPERTIES TIMEOUT 900)
endif()
