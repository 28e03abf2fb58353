# trelon_convert(OUTPUT <file> MODULE <muf> FORMAT <word> [TARGET <name>]
#                [MAP <file.svg|file.json|file.txt>])
#
# Adds a build step that converts MODULE into OUTPUT with the converter
# program Trelon::converter:
#
#   trelon --strict --quiet [--map=MAP] FORMAT MODULE OUTPUT
#
# With MAP, the memory map is written too, in the form its extension names,
# and is an output of the same step (a relative MAP is taken in
# CMAKE_CURRENT_BINARY_DIR).
#
# It runs again when MODULE or the converter changes. A module with an error
# fails the build and leaves the previous OUTPUT as it was. A relative OUTPUT
# is taken in CMAKE_CURRENT_BINARY_DIR, a relative MODULE in
# CMAKE_CURRENT_SOURCE_DIR. OUTPUT is built by a target that lists it among
# its sources or DEPENDS, or, with TARGET, by a new target of that name that
# is part of ALL:
#
#   trelon_convert(OUTPUT fw.ihx MODULE fw.muf FORMAT /I TARGET firmware MAP fw.svg)
#
# Defined by the installed package (find_package(Trelon)) and, when this
# project is part of another build (add_subdirectory, FetchContent), by its
# own CMakeLists.txt.

include_guard(GLOBAL)

function(trelon_convert)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT;MODULE;FORMAT;TARGET;MAP" "")
  foreach(required OUTPUT MODULE FORMAT)
    if(NOT arg_${required})
      message(FATAL_ERROR "trelon_convert: ${required} is missing")
    endif()
  endforeach()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "trelon_convert: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Trelon::converter)
    message(FATAL_ERROR "trelon_convert: the converter program Trelon::converter "
      "is not there (the package was installed without its runtime component)")
  endif()
  get_filename_component(module "${arg_MODULE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  # The converter writes a temporary file beside OUTPUT, so its folder must
  # be there before the build.
  get_filename_component(folder "${output}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  set(outputs "${output}")
  set(map_option "")
  if(arg_MAP)
    get_filename_component(map "${arg_MAP}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    get_filename_component(map_folder "${map}" DIRECTORY)
    file(MAKE_DIRECTORY "${map_folder}")
    list(APPEND outputs "${map}")
    set(map_option "--map=${map}")
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND "$<TARGET_FILE:Trelon::converter>" --strict --quiet ${map_option} "${arg_FORMAT}" "${module}" "${output}"
    DEPENDS "${module}" Trelon::converter
    COMMENT "Converting ${arg_MODULE} to ${arg_OUTPUT} (${arg_FORMAT})"
    VERBATIM)
  if(arg_TARGET)
    add_custom_target(${arg_TARGET} ALL DEPENDS ${outputs})
  endif()
endfunction()
