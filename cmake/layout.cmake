# Where `cmake --install` puts things, and what the programs need to know of
# it. The Windows package is one flat folder: the loader finds pallador.dll
# beside the program that loads it. On Linux the usual prefix tree.
if(WIN32)
  set(PALLADOR_INSTALL_BINDIR .)
  set(PALLADOR_INSTALL_LIBDIR .)
  set(PALLADOR_INSTALL_DOCDIR .)
  set(PALLADOR_PLUGIN_DIR_FROM_PROGRAM .)
else()
  include(GNUInstallDirs)
  set(PALLADOR_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(PALLADOR_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  set(PALLADOR_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  # Relative, so that an unpacked archive or a package extracted anywhere
  # finds its own plug-in.
  file(RELATIVE_PATH PALLADOR_PLUGIN_DIR_FROM_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_LIBDIR})
  if(PALLADOR_PLUGIN_DIR_FROM_PROGRAM STREQUAL "")
    set(PALLADOR_PLUGIN_DIR_FROM_PROGRAM .)
  endif()
endif()
set(PALLADOR_INSTALL_EXAMPLESDIR ${PALLADOR_INSTALL_DOCDIR}/examples)

configure_file(${PROJECT_SOURCE_DIR}/cmake/build_info.h.in
               ${PROJECT_BINARY_DIR}/generated/build_info.h @ONLY)

# The Windows version resource of `target`: the properties a user sees on
# the file (version, product, description, original name).
function(pallador_version_resource target description filetype)
  if(NOT WIN32)
    return()
  endif()
  set(PALLADOR_RC_DESCRIPTION "${description}")
  set(PALLADOR_RC_FILETYPE ${filetype})
  set(PALLADOR_RC_NAME ${target})
  get_target_property(prefix ${target} PREFIX)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  if(NOT prefix)
    set(prefix "")
  endif()
  set(PALLADOR_RC_FILENAME "${prefix}${target}${suffix}")
  set(rc ${PROJECT_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
