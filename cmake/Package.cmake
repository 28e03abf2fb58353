# The Debian package: one .deb with everything `cmake --install` puts in
# place (the program, its man page and documents, the static library, its
# header and the CMake package). `make package` builds it with the "package"
# presets, which install under /usr.
#
# Included at the end of Install.cmake, after every install rule.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trelon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Trelon developers")
set(CPACK_PACKAGE_CONTACT "The Trelon developers <trelon@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert MUFOM object modules into loadable files")
# CPack puts the summary first and indents the text beneath it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Trelon reads one absolute object module in the ASCII form of the IEEE 695
object module format (MUFOM) and writes the memory it loads as a raw binary,
a hex dump, Intel Hex, Motorola S-records, PDP-11 absolute-loader blocks, an
MS-DOS executable or a TOS program file.

The package also holds the converter as a static C++ library with its header
and a CMake package (find_package(Trelon)), for programs that embed it.")
set(CPACK_DEBIAN_PACKAGE_SECTION embedded)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are those of the binary, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# One package, not one per install component.
set(CPACK_DEB_COMPONENT_INSTALL OFF)
include(CPack)
