# The version, the install rules and the Debian package.
#
# Included from the top-level CMakeLists.txt before the programs are declared:
# the version header is needed by every target. The install rules name the
# program targets, so they are deferred to the end of the top-level folder.
#
#   cmake --install build --prefix DIR   the programs and their desktop integration
#   scripts/package.sh                   the Debian package (cpack -G DEB) from build/
#
# Only the rules below install anything: test, benchmark and fuzzing targets
# have none and never reach an install tree or the package.

include(GNUInstallDirs)

# project(... VERSION) is the one version of the programs and the package;
# this is the day it was released (release notes of the package and AppStream).
set(KELVAR_RELEASE_DATE 2026-12-10)
configure_file(${CMAKE_CURRENT_LIST_DIR}/KelvarVersion.h.in ${CMAKE_BINARY_DIR}/generated/KelvarVersion.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

# Desktop integration and the package exist for Linux desktops only.
if(UNIX AND NOT APPLE)
  set(KELVAR_DESKTOP_FILES ON)
else()
  set(KELVAR_DESKTOP_FILES OFF)
endif()

# Manual pages (scdoc sources next to each program's code) and the icon sizes
# rendered from the scalable icon.
set(KELVAR_MAN_PAGES
  src/app/kelvar517.1.scd
  src/cli/kelvar517-cli.1.scd
  tools/metersim/kelvar517-meter-sim.1.scd)
set(KELVAR_ICON_SIZES 48 128 256)

function(kelvar_desktop_files)
  set(src ${CMAKE_SOURCE_DIR}/packaging)
  set(out ${CMAKE_BINARY_DIR}/packaging)
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/kelvar517)
  find_program(SCDOC scdoc REQUIRED)
  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
  find_program(GZIP gzip REQUIRED)

  # The release day in the forms the generated files need; man pages carry it
  # as their date, so the same sources give the same pages.
  execute_process(COMMAND date -u -d "${KELVAR_RELEASE_DATE} 12:00" +%s
                  OUTPUT_VARIABLE KELVAR_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND date -u -R -d "${KELVAR_RELEASE_DATE} 12:00"
                  OUTPUT_VARIABLE KELVAR_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  configure_file(${src}/org.example.kelvar517.metainfo.xml.in ${out}/org.example.kelvar517.metainfo.xml @ONLY)
  configure_file(${src}/changelog.in ${out}/changelog @ONLY)

  set(generated)
  foreach(page ${KELVAR_MAN_PAGES})
    get_filename_component(name ${page} NAME_WLE)
    add_custom_command(OUTPUT ${out}/${name}.gz
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KELVAR_RELEASE_EPOCH}
              sh -c "'${SCDOC}' < '${CMAKE_SOURCE_DIR}/${page}' | '${GZIP}' -9n > '${out}/${name}.gz'"
      DEPENDS ${CMAKE_SOURCE_DIR}/${page}
      COMMENT "Manual page ${name}" VERBATIM)
    list(APPEND generated ${out}/${name}.gz)
    install(FILES ${out}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  foreach(size ${KELVAR_ICON_SIZES})
    set(png ${out}/icons/${size}/kelvar517.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/icons/${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${src}/kelvar517.svg
      DEPENDS ${src}/kelvar517.svg
      COMMENT "Icon ${size}x${size}" VERBATIM)
    list(APPEND generated ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_command(OUTPUT ${out}/changelog.gz
    COMMAND sh -c "'${GZIP}' -9n < '${out}/changelog' > '${out}/changelog.gz'"
    DEPENDS ${out}/changelog VERBATIM)
  list(APPEND generated ${out}/changelog.gz)
  add_custom_target(kelvar_desktop_files ALL DEPENDS ${generated})

  install(FILES ${src}/kelvar517.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${src}/kelvar517.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${out}/org.example.kelvar517.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_SOURCE_DIR}/src/cli/kelvar517-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvar517-cli)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${src}/copyright ${out}/changelog.gz DESTINATION ${doc})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/behaviour.md DESTINATION ${doc}/docs)
endfunction()

function(kelvar_package)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kelvar517)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR Kelvar)
  set(CPACK_PACKAGE_CONTACT "Kelvar 517 developers <support@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programs and reads the Kelvar 517 electricity meter")
  set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_SOURCE_DIR}/packaging/description.txt)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.org)
  # Qt and the other libraries from the programs' links; what is loaded at run
  # time is named here: the ODBC driver manager with Qt's ODBC driver (the
  # production database) and the window system plugins.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-odbc, libodbc2, qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql")
  include(CPack)
endfunction()

function(kelvar_install_rules)
  set(programs kelvar517 kelvar517-cli)
  if(TARGET kelvar517-meter-sim)
    list(APPEND programs kelvar517-meter-sim)
  endif()
  install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(KELVAR_DESKTOP_FILES)
    kelvar_desktop_files()
    kelvar_package()
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kelvar_install_rules)
