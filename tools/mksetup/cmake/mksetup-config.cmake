# The CMake package of mksetup (find_package(mksetup)): the imported program
# mksetup::mksetup and the function mksetup_add_setup(), which makes a setup
# file part of a project's build.
#
#   mksetup_add_setup(<target> PROJECT <file.toml>
#                     [OUTPUT <file>]            default: <target>.exe in the current binary folder
#                     [DEFINES NAME=VALUE ...]   mksetup build -D; generator expressions allowed
#                     [DEPENDS <targets or files> ...]
#                     [STUB <setup.exe>]         default: the one installed with mksetup
#                     [SIGN <cert.pfx> [SIGN_PASSWORD_FILE <file>] [TIMESTAMP <url>]]
#                     [ALL])
#
# The setup file is built again when the project, the stub or any file it
# packs changes (mksetup writes the list, --depfile), when a file is added to
# a folder it packs, and when a target in DEPENDS is built anew.
cmake_minimum_required(VERSION 3.20)
# Paths in a DEPFILE as written (absolute ones here), for Ninja as for make.
cmake_policy(SET CMP0116 NEW)

# Installed as <prefix>/lib/cmake/mksetup; the Windows zip keeps this file in
# cmake/ beside mksetup.exe.
get_filename_component(_mksetup_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
find_program(MKSETUP_EXECUTABLE mksetup
  PATHS "${_mksetup_prefix}/bin" "${CMAKE_CURRENT_LIST_DIR}/.."
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
unset(_mksetup_prefix)
if(NOT MKSETUP_EXECUTABLE)
  set(mksetup_FOUND FALSE)
  set(mksetup_NOT_FOUND_MESSAGE "the mksetup program is not beside its CMake package (${CMAKE_CURRENT_LIST_DIR})")
  return()
endif()
if(NOT TARGET mksetup::mksetup)
  add_executable(mksetup::mksetup IMPORTED)
  set_target_properties(mksetup::mksetup PROPERTIES IMPORTED_LOCATION "${MKSETUP_EXECUTABLE}")
endif()

function(mksetup_add_setup name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ALL" "PROJECT;OUTPUT;STUB;SIGN;SIGN_PASSWORD_FILE;TIMESTAMP"
                        "DEFINES;DEPENDS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "mksetup_add_setup(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_PROJECT)
    message(FATAL_ERROR "mksetup_add_setup(${name}): PROJECT <file.toml> is required")
  endif()
  if((arg_SIGN_PASSWORD_FILE OR arg_TIMESTAMP) AND NOT arg_SIGN)
    message(FATAL_ERROR "mksetup_add_setup(${name}): SIGN_PASSWORD_FILE and TIMESTAMP go with SIGN")
  endif()
  get_filename_component(project "${arg_PROJECT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT arg_OUTPUT)
    set(arg_OUTPUT "${name}.exe")
  endif()
  get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${name}.mksetup.d")

  set(command "${MKSETUP_EXECUTABLE}" build -q -o "${output}" --depfile "${depfile}")
  foreach(definition IN LISTS arg_DEFINES)
    list(APPEND command -D "${definition}")
  endforeach()
  foreach(option STUB SIGN SIGN_PASSWORD_FILE TIMESTAMP)
    if(arg_${option})
      string(TOLOWER "--${option}" flag)
      string(REPLACE "_" "-" flag "${flag}")
      set(value "${arg_${option}}")
      if(NOT option STREQUAL "TIMESTAMP")
        get_filename_component(value "${value}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      endif()
      list(APPEND command "${flag}" "${value}")
    endif()
  endforeach()
  list(APPEND command -- "${project}")

  add_custom_command(OUTPUT "${output}"
    COMMAND ${command}
    DEPENDS "${project}" "${MKSETUP_EXECUTABLE}" ${arg_DEPENDS}
    DEPFILE "${depfile}"
    COMMENT "Building the setup file ${arg_OUTPUT}"
    VERBATIM)
  set(all)
  if(arg_ALL)
    set(all ALL)
  endif()
  add_custom_target(${name} ${all} DEPENDS "${output}")
  set_target_properties(${name} PROPERTIES MKSETUP_OUTPUT "${output}")
endfunction()
