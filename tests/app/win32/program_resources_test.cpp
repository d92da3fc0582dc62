// What every shipped executable carries, read from the files as the system reads them: the rights
// its manifest asks for (with the common controls of version 6 and DPI awareness kept), its
// version resource, and its icon in 16 to 256 pixels at 32 bits.
#include <windows.h>
// (windows.h first.)
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

// An executable's resources, loaded as data.
class Resources {
  public:
    explicit Resources(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Resources() {
        if (module_) FreeLibrary(module_);
    }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;
    [[nodiscard]] bool loaded() const { return module_ != nullptr; }
    [[nodiscard]] std::string bytes(LPCSTR type, LPCSTR name) const {
        const HRSRC found = FindResourceA(module_, name, type);
        if (!found) return {};
        const HGLOBAL data = LoadResource(module_, found);
        const auto* p = static_cast<const char*>(LockResource(data));
        return p ? std::string(p, SizeofResource(module_, found)) : std::string();
    }

  private:
    HMODULE module_;
};

// A string of the version resource, read from the file's own resources (version.dll's
// GetFileVersionInfo would answer for Wine's own program of the same name where there is one,
// such as regini.exe).
std::string versionValue(const Resources& resources, const char* name) {
    std::string block = resources.bytes(RT_VERSION, MAKEINTRESOURCEA(1));
    if (block.empty()) return {};
    wchar_t* value = nullptr;
    UINT length = 0;
    std::wstring query = L"\\StringFileInfo\\040904B0\\";
    for (const char* c = name; *c; ++c)
        query += static_cast<wchar_t>(*c);
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0)
        return {};
    std::string out;
    for (UINT i = 0; i + 1 < length; ++i)
        out += static_cast<char>(value[i]);  // the values are ASCII
    return out;
}

TEST(ProgramResources, EveryProgramAsksForItsRightsAndCarriesItsVersionAndIcon) {
    struct Case {
        const char* file;
        const char* level;
    };
    const Case cases[] = {
        {"talvrin.exe", "requireAdministrator"},
        {"talvrin-repair.exe", "requireAdministrator"},
        {"talvrin-image.exe", "asInvoker"},
        {"files/regini.exe", "asInvoker"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = std::string(TALVRIN_BIN_DIR) + "/" + c.file;
        const Resources resources(path);
        ASSERT_TRUE(resources.loaded());

        const std::string manifest = resources.bytes(RT_MANIFEST, MAKEINTRESOURCEA(1));
        EXPECT_NE(manifest.find(std::string("level=\"") + c.level + "\""), std::string::npos)
            << manifest;
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
                  std::string::npos);
        EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
        EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos);

        EXPECT_EQ(versionValue(resources, "ProductName"), "Talvrin");
        EXPECT_EQ(versionValue(resources, "FileVersion"), TALVRIN_VERSION);
        EXPECT_EQ(versionValue(resources, "ProductVersion"), TALVRIN_VERSION);
        EXPECT_FALSE(versionValue(resources, "FileDescription").empty());
        EXPECT_NE(versionValue(resources, "LegalCopyright").find("Talvrin developers"),
                  std::string::npos);

        // The first icon group: its directory lists each image's size (0 for 256) and depth.
        const std::string group = resources.bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(1));
        ASSERT_GE(group.size(), 6u);
        const auto count = static_cast<std::uint8_t>(group[4]);
        ASSERT_EQ(group.size(), 6u + 14u * count);
        std::set<int> sizes;
        for (int i = 0; i < count; ++i) {
            const char* entry = group.data() + 6 + 14 * i;
            const int side = static_cast<std::uint8_t>(entry[0]);
            sizes.insert(side == 0 ? 256 : side);
            EXPECT_EQ(static_cast<std::uint8_t>(entry[6]), 32) << "bits of image " << i;
        }
        EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256}));
    }
}

}  // namespace
