#include "platform/os/library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace talvrin::platform {
namespace {

TEST(LibraryHasExport, FindsAnExportOfAnInstalledLibrary) {
    EXPECT_TRUE(LibraryHasExport("libz.so.1", "crc32"));
}

TEST(LibraryHasExport, MissingExportOrLibraryIsFalse) {
    EXPECT_FALSE(LibraryHasExport("libz.so.1", "NoSuchExportAnywhere"));
    EXPECT_FALSE(LibraryHasExport("libtalvrin-no-such-library.so", "crc32"));
    EXPECT_FALSE(LibraryHasExport("", "crc32"));
    EXPECT_FALSE(LibraryHasExport("libz.so.1", ""));
    EXPECT_FALSE(LibraryHasExport(std::string_view("libz.so.1\0x", 11), "crc32"));
}

TEST(LibraryHasExport, NothingStaysLoaded) {
    // A library this process does not otherwise use.
    const char* name = "libbz2.so.1.0";
    if (void* h = ::dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
        ::dlclose(h);
        GTEST_SKIP() << name << " is already loaded in this process";
    }
    if (void* h = ::dlopen(name, RTLD_LAZY)) {
        ::dlclose(h);
    } else {
        GTEST_SKIP() << name << " is not installed";
    }
    EXPECT_TRUE(LibraryHasExport(name, "BZ2_bzlibVersion"));
    void* still = ::dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    EXPECT_EQ(still, nullptr);
    if (still) ::dlclose(still);
}

}  // namespace
}  // namespace talvrin::platform
