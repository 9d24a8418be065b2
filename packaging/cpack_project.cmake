# Read by cpack for each generator: the .deb installs under /usr, while the
# source tarball keeps the tree at its top.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Each package's description starts with its own synopsis; CPack would put
  # the one shared summary above each.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
  # The window on a Wayland display needs Qt's Wayland platform, a package of its own.
  set(CPACK_DEBIAN_ORVANDELCASTER_PACKAGE_RECOMMENDS qt6-wayland)
endif()
