# Read by cpack for each generator: the .deb installs under /usr, while the
# source tarball keeps the tree at its top.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
