# Writes OUTPUT: a C++ source that compiles the listed files in as the program's own resources
# behind builtInResources(), the provider of the program's own resources.
# Included from resources/CMakeLists.txt with ENTRIES ("id|section|file" each) and OUTPUT set.
set(arrays "")
set(table "")
set(n 0)
foreach(entry IN LISTS ENTRIES)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 id)
    list(GET parts 1 section)
    list(GET parts 2 file)
    file(READ "${file}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const std::uint8_t kResource${n}[] = {${bytes}};\n")
    if(id MATCHES "^[0-9]+$")
        set(key "std::int32_t{${id}}")
    else()
        set(key "std::string(\"${id}\")")
    endif()
    string(APPEND table "        {${key}, \"${section}\", kResource${n}},\n")
    math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/ by cmake/embed_resources.cmake; do not edit.
#include <cstdint>
#include <memory>
#include <string>

#include \"resources/builtin_resources.h\"

namespace talvrin {

namespace {
${arrays}}  // namespace

std::shared_ptr<const platform::ResourceProvider> builtInResources() {
    using platform::EmbeddedResource;
    static const auto provider = std::make_shared<platform::EmbeddedResourceProvider>(
        std::vector<EmbeddedResource>{
${table}        });
    return provider;
}

}  // namespace talvrin
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
