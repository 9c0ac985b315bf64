# Install rules and packages: `cmake --install` for either build, and CPack's
# ZIP (Windows) or TGZ and DEB (Linux). scripts/package.sh drives both.
install(TARGETS pallador
        RUNTIME DESTINATION ${PALLADOR_INSTALL_BINDIR}
        LIBRARY DESTINATION ${PALLADOR_INSTALL_LIBDIR})
install(TARGETS pallador-host RUNTIME DESTINATION ${PALLADOR_INSTALL_BINDIR})
if(TARGET pallador-sim)
  install(TARGETS pallador-sim RUNTIME DESTINATION ${PALLADOR_INSTALL_BINDIR})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${PALLADOR_INSTALL_EXAMPLESDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${PALLADOR_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/host/README.md DESTINATION ${PALLADOR_INSTALL_DOCDIR}/host)
if(TARGET pallador-sim)
  install(FILES ${PROJECT_SOURCE_DIR}/sim/README.md DESTINATION ${PALLADOR_INSTALL_DOCDIR}/sim)
endif()

set(CPACK_PACKAGE_NAME pallador)
set(CPACK_PACKAGE_VENDOR "pallador")
set(CPACK_PACKAGE_CONTACT "pallador maintainers <pallador@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Device-driver plug-in for the Pallador input device, with a reference host")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME pallador-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR TGZ DEB)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE PALLADOR_DEB_ARCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT PALLADOR_DEB_ARCH)
    set(PALLADOR_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
  endif()
  set(CPACK_PACKAGE_FILE_NAME pallador-${PROJECT_VERSION}-linux-${PALLADOR_DEB_ARCH})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${PALLADOR_DEB_ARCH})
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "libpallador.so for hosts that load it, pallador-host to run the device\nand show what it publishes, and pallador-sim, a simulated device on a\npseudo-terminal.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_generators.cmake)
endif()
include(CPack)
