# Installing and packing: `cmake --install` puts the programs, the desktop
# entry and icon, the man page of lumavist-cli (made from its help by
# help2man, where it is installed) and the README and licence under the
# prefix; CPack packs them as lumavist_<version>-<build>_amd64.deb.
include(GNUInstallDirs)

install(TARGETS lumavist-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET lumavist)
  install(TARGETS lumavist RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(NOT WIN32)
  if(TARGET lumavist)
    install(FILES packaging/lumavist.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES packaging/lumavist.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Debian keeps a package's licence as its copyright file.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

  find_program(HELP2MAN help2man)
  if(HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
    set(_man ${CMAKE_BINARY_DIR}/lumavist-cli.1.gz)
    add_custom_command(
      OUTPUT ${_man}
      COMMAND ${HELP2MAN} --no-info --section=1 --source=Lumavist
              "--name=the Lumavist engine for scripts: photometry, light curves and processing of FITS frames"
              --output=${CMAKE_BINARY_DIR}/lumavist-cli.1 $<TARGET_FILE:lumavist-cli>
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/lumavist-cli.1
      DEPENDS lumavist-cli
      COMMENT "The man page of lumavist-cli from its help")
    add_custom_target(man_page ALL DEPENDS ${_man})
    install(FILES ${_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    message(STATUS "help2man is not installed: no man page for lumavist-cli")
  endif()
endif()

set(CPACK_PACKAGE_NAME lumavist)
set(CPACK_PACKAGE_VENDOR "The Lumavist developers")
set(CPACK_PACKAGE_VERSION "${LUMAVIST_VERSION_TEXT}-${LUMAVIST_BUILD_NUMBER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CCD photometry of variable stars: FITS display, light curves, reports")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumavist shows FITS frames from a CCD camera, measures a variable star against a comparison and a\n"
    "check star (one frame, or unattended over a folder), draws light curves, writes observation reports\n"
    "and AAVSO files, calibrates and processes frames, and draws spectrum intensity curves.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Lumavist developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins and cfitsio
# are loaded at run time, so the package names them, and a font for the
# windows' text. (Debian names the package of libcfitsio.so.10 libcfitsio10.)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
if(LUMAVIST_CFITSIO_SONAME MATCHES "^lib(.+)\\.so\\.([0-9]+)$")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", lib${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
include(CPack)
