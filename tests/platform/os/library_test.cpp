#include "platform/os/library.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

namespace talvrin::platform {
namespace {

// The platform's facts: an installed library with one of its exports, a name no library has, and
// a library this test process does not otherwise load, with the checks the probe is tested by.
#ifdef _WIN32
constexpr const char* kInstalled = "kernel32.dll";
constexpr const char* kExport = "GetProcAddress";
constexpr const char* kMissing = "talvrin-no-such-library.dll";
constexpr const char* kUnused = "version.dll";
constexpr const char* kUnusedExport = "GetFileVersionInfoSizeA";
bool isLoaded(const char* name) {
    return GetModuleHandleA(name) != nullptr;
}
bool isInstalled(const char* name) {
    HMODULE module = LoadLibraryA(name);
    if (module != nullptr) FreeLibrary(module);
    return module != nullptr;
}
#else
constexpr const char* kInstalled = "libz.so.1";
constexpr const char* kExport = "crc32";
constexpr const char* kMissing = "libtalvrin-no-such-library.so";
constexpr const char* kUnused = "libbz2.so.1.0";
constexpr const char* kUnusedExport = "BZ2_bzlibVersion";
bool isLoaded(const char* name) {
    void* h = ::dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (h != nullptr) ::dlclose(h);
    return h != nullptr;
}
bool isInstalled(const char* name) {
    void* h = ::dlopen(name, RTLD_LAZY);
    if (h != nullptr) ::dlclose(h);
    return h != nullptr;
}
#endif

TEST(LibraryHasExport, FindsAnExportOfAnInstalledLibrary) {
    EXPECT_TRUE(LibraryHasExport(kInstalled, kExport));
}

TEST(LibraryHasExport, MissingExportOrLibraryIsFalse) {
    EXPECT_FALSE(LibraryHasExport(kInstalled, "NoSuchExportAnywhere"));
    EXPECT_FALSE(LibraryHasExport(kMissing, kExport));
    EXPECT_FALSE(LibraryHasExport("", kExport));
    EXPECT_FALSE(LibraryHasExport(kInstalled, ""));
    const std::string withNul = std::string(kInstalled) + std::string(1, '\0') + "x";
    EXPECT_FALSE(LibraryHasExport(withNul, kExport));
}

TEST(LibraryHasExport, NothingStaysLoaded) {
    if (isLoaded(kUnused)) GTEST_SKIP() << kUnused << " is already loaded in this process";
    if (!isInstalled(kUnused)) GTEST_SKIP() << kUnused << " is not installed";
    EXPECT_TRUE(LibraryHasExport(kUnused, kUnusedExport));
    EXPECT_FALSE(isLoaded(kUnused));
}

}  // namespace
}  // namespace talvrin::platform
