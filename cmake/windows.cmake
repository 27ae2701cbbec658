# The 32-bit Windows programs and the tests that run under Wine.

# The runner wrapper ctest uses: Wine with the project's prefix (one for both
# Windows builds: a 64-bit prefix runs 32-bit and 64-bit programs).
# A test given WINE_LOCALE runs in the prefix of that locale (scripts/wine-run).
set(_runner [=[#!/bin/sh
if [ -z "${WINEPREFIX:-}" ] && [ -z "${WINE_LOCALE:-}" ]; then WINEPREFIX="@PREFIX@"; export WINEPREFIX; fi
exec "@RUNNER@" "$@"
]=])
string(REPLACE "@PREFIX@" "${CMAKE_SOURCE_DIR}/build/wineprefix" _runner "${_runner}")
string(REPLACE "@RUNNER@" "${CMAKE_SOURCE_DIR}/scripts/wine-run" _runner "${_runner}")
file(WRITE ${CMAKE_BINARY_DIR}/wine-run "${_runner}")
file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The Windows tests run in two Wine prefixes, each with a display of its own
# (scripts/wine-run), so that `ctest -j2` runs two of them side by side; the
# tests of one prefix take turns (a lock each). Prefix a is the runner's own.
set(WINE_PREFIX_A ${CMAKE_SOURCE_DIR}/build/wineprefix)
set(WINE_PREFIX_B ${CMAKE_SOURCE_DIR}/build/wineprefix-b)
function(wine_tests prefix)
  foreach(t ${ARGN})
    if(prefix STREQUAL "b")
      set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT_MODIFICATION WINEPREFIX=set:${WINE_PREFIX_B})
    endif()
    set_property(TEST ${t} PROPERTY RESOURCE_LOCK wineprefix-${prefix})
  endforeach()
endfunction()
# Tests that need the runs' results, not time to read their states: the
# programs' pauses between steps are shortened for them (PauseForReading).
# A test that cancels a run half-way, or watches a window while a run goes,
# keeps them.
function(short_pauses)
  foreach(t ${ARGN})
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT_MODIFICATION INSTALLER_TEST_PAUSE_MS=set:10)
  endforeach()
endfunction()

# Code page 936 text in the programs: UTF-8 sources, GBK execution charset.
set(GBK_FLAGS -finput-charset=UTF-8 -fexec-charset=GBK)
# The shipped programs: small, no exceptions, no RTTI, no C++ runtime, and
# optimised as a whole when linked. The libraries' objects also carry plain
# code, which the tests link without link-time optimisation.
set(PROGRAM_LTO -flto -ffat-lto-objects)
set(PROGRAM_FLAGS -Os ${PROGRAM_LTO} -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables
    -ffunction-sections -Wall -Wextra)
set(PROGRAM_LINK -static -s -Wl,--gc-sections -flto)

# The decoder and the checksum run over every byte of a package: compiled for
# speed (a few KiB more in the stub) rather than size, and kept out of the
# link-time optimisation so that their code stays as compiled here.
set_source_files_properties(${LZMA_SDK_DIR}/LzmaDec.c PROPERTIES COMPILE_OPTIONS "-w;-O3;-fno-lto")
set_source_files_properties(${CMAKE_SOURCE_DIR}/common/crc32.cpp PROPERTIES COMPILE_OPTIONS "-O2;-fno-lto")
add_library(core STATIC ${CORE_SOURCES})
# The bridge from code page 936 text to the wide functions of Windows.
target_sources(core PRIVATE ${CMAKE_SOURCE_DIR}/framework/widetext.cpp)
target_include_directories(core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(core PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${PROGRAM_FLAGS};${GBK_FLAGS}>"
  "$<$<COMPILE_LANGUAGE:C>:-Os;${PROGRAM_LTO};-fno-asynchronous-unwind-tables;-ffunction-sections>")

# The manifest as both programs carry it: common/res/program.manifest without
# its comments and layout. The resource scripts find it as
# program.min.manifest in res/ of the build.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PROGRAM_MANIFEST_DIR ${CMAKE_BINARY_DIR}/res)
set(PROGRAM_MANIFEST ${PROGRAM_MANIFEST_DIR}/program.min.manifest)
add_custom_command(OUTPUT ${PROGRAM_MANIFEST}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROGRAM_MANIFEST_DIR}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/compact-manifest
    ${CMAKE_SOURCE_DIR}/common/res/program.manifest ${PROGRAM_MANIFEST}
  DEPENDS ${CMAKE_SOURCE_DIR}/common/res/program.manifest ${CMAKE_SOURCE_DIR}/scripts/compact-manifest
  VERBATIM)
add_custom_target(program_manifest DEPENDS ${PROGRAM_MANIFEST})

add_subdirectory(examples/demo/src)
target_compile_options(demo PRIVATE ${GBK_FLAGS})

foreach(dir framework common setup uninstall)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# The tests, the benchmark driver and GoogleTest link the plain code.
add_link_options(-fno-lto)

# GoogleTest, cross-built for the Windows tests.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_subdirectory(tests/win)
add_subdirectory(tests/e2e)
add_subdirectory(bench)

# The builder for Windows, mksetup.exe: 64-bit only (a build machine's
# Windows is 64-bit, and under Wine it starts at once where 32-bit code runs
# only through qemu). Its core is compiled as on Linux: exceptions, UTF-8
# literals, and names in UTF-8, which CWideText turns into UTF-16.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_library(builder_core STATIC ${CORE_SOURCES} ${CMAKE_SOURCE_DIR}/framework/widetext.cpp)
  target_include_directories(builder_core PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(builder_core PUBLIC WIDETEXT_UTF8)
  target_compile_options(builder_core PRIVATE -O2)
  add_subdirectory(tools/mksetup)
endif()
