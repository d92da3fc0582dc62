# Dependencies of the Windows build that MinGW-w64 has no package for, made from what the build
# machine has: GoogleTest from the sources Debian ships in /usr/src/googletest, and the
# header-only JSON library from the machine's headers.

# GoogleTest and GoogleMock, built with the project's compiler (GTest::gtest, GTest::gmock,
# GTest::gtest_main, as find_package gives them on Linux).
if(TALVRIN_BUILD_TESTS)
    set(TALVRIN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${TALVRIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# The JSON library is headers only. Its folder is linked into a folder of its own, so that the
# build machine's /usr/include never lands on the cross compiler's include path (its C library
# headers would shadow MinGW's).
find_path(TALVRIN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH)
if(NOT TALVRIN_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found (Debian package nlohmann-json3-dev)")
endif()
set(json_dir ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${json_dir})
file(CREATE_LINK ${TALVRIN_JSON_INCLUDE}/nlohmann ${json_dir}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${json_dir})
