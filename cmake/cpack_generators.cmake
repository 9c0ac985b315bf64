# Read by cpack once per generator: the Debian package installs under /usr,
# the archive unpacks as a relocatable tree (bin/, lib/, share/).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
else()
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
endif()
