# Linux host: the platform-free core, the package builder and the host tests.
add_compile_options(-Wall -Wextra)
if(INSTALLER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(core STATIC ${CORE_SOURCES})
target_include_directories(core PUBLIC ${CMAKE_SOURCE_DIR})

if(INSTALLER_FUZZ)
  target_compile_options(core PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  add_subdirectory(tools/mksetup)
  add_subdirectory(tests/fuzz)
  return()
endif()

add_subdirectory(tools/mksetup)

find_package(GTest)
if(NOT GTest_FOUND)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
add_subdirectory(tests/unit)
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/mksetup/CMakeLists.txt)
  add_subdirectory(tests/mksetup)
endif()
add_subdirectory(bench)
