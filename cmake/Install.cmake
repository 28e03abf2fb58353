# trelon_convert(), and installation: the trelon program and its man page,
# and, for programs that embed the converter, the static library trelon_core
# with its public header and a CMake package, so that another project can
# write
#
#   find_package(Trelon 1.0 REQUIRED)
#   target_link_libraries(app PRIVATE Trelon::trelon)
#   trelon_convert(OUTPUT fw.ihx MODULE fw.muf FORMAT /I TARGET firmware)
#
# The same package, for the targets of the build folder, is written into the
# build folder (-DTrelon_DIR=<build folder>). Installing is up to
# TRELON_INSTALL, on unless Trelon is built by another project.
#
# Included by the top-level CMakeLists.txt after the targets are defined.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Inside the build tree the library is reached through the alias
# Trelon::trelon and the program through Trelon::converter; exported, the
# targets carry the same names, so trelon_convert() runs the same target
# either way.
set_target_properties(trelon_core PROPERTIES EXPORT_NAME trelon)
set_target_properties(trelon PROPERTIES EXPORT_NAME converter)
add_executable(Trelon::converter ALIAS trelon)
include(${CMAKE_CURRENT_LIST_DIR}/TrelonConvert.cmake)
# A library built with the sanitizers needs their runtime wherever it is
# linked; the target says so itself.
if(TRELON_SANITIZE)
  target_link_options(trelon_core INTERFACE -fsanitize=address,undefined)
endif()

# The package of the build folder: the same files as the installed one.
export(TARGETS trelon_core NAMESPACE Trelon:: FILE ${PROJECT_BINARY_DIR}/TrelonTargets.cmake)
export(TARGETS trelon NAMESPACE Trelon:: FILE ${PROJECT_BINARY_DIR}/TrelonProgram.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/TrelonConvert.cmake ${PROJECT_BINARY_DIR}/TrelonConvert.cmake COPYONLY)
set(TRELON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Trelon)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/TrelonConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TrelonConfig.cmake
  INSTALL_DESTINATION ${TRELON_CMAKE_DIR})
# 1.x releases keep the embedding API; a new major version may change it.
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/TrelonConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
if(NOT TRELON_INSTALL)
  return()
endif()

install(TARGETS trelon EXPORT TrelonProgram
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/trelon.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/muf-modules.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelon COMPONENT runtime)
# The README shows the monitor example's memory map from docs/.
install(FILES ${PROJECT_SOURCE_DIR}/docs/monitor.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/trelon/docs COMPONENT runtime)

install(TARGETS trelon_core EXPORT TrelonTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/trelon/trelon.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/trelon COMPONENT development)

install(EXPORT TrelonTargets
  NAMESPACE Trelon::
  FILE TrelonTargets.cmake
  DESTINATION ${TRELON_CMAKE_DIR}
  COMPONENT development)
# The program's imported target goes with the program, so the package still
# loads when only the development component is installed.
install(EXPORT TrelonProgram
  NAMESPACE Trelon::
  FILE TrelonProgram.cmake
  DESTINATION ${TRELON_CMAKE_DIR}
  COMPONENT runtime)
install(FILES
  ${PROJECT_BINARY_DIR}/TrelonConfig.cmake
  ${PROJECT_BINARY_DIR}/TrelonConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/TrelonConvert.cmake
  DESTINATION ${TRELON_CMAKE_DIR}
  COMPONENT development)

# The Debian package of all of the above (make package); CPack's files are
# the top-level project's, so a project that builds Trelon keeps its own.
if(PROJECT_IS_TOP_LEVEL)
  include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
endif()
