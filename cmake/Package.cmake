# The Debian package, made by CPack from the install rules: the program, its desktop entry,
# icons, metadata and manual page.
#
#   cpack --config build/CPackConfig.cmake -B <folder>
set(VALDRUNE_PACKAGE_MAINTAINER "Valdrune Structure Placer maintainers <maintainers@valdrune.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME valdrune-placer)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for laying out multi-tile structures on a world map")
# Lines as they show in the package's description (CPack indents them for the control file).
set(CPACK_PACKAGE_DESCRIPTION "\
Valdrune Structure Placer makes a map from a terrain image, shows a folder
tree of structure files (.mlt) with their previews, and places structures on
the map by dragging them there. Placed structures can be moved, flagged
invisible or deleted, every change can be undone, and the placements are
saved as an XML file that opens again later. The whole map exports as a PNG
image, also from the command line without a display.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VALDRUNE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the platform plugins that show the window on X11 or
# Wayland are only recommended by Qt's own packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# valdrune-placer_<version>_<architecture>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
