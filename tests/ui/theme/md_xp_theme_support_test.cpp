// The theme module over the visual-style libraries: no library, an older one, and common
// controls of version 6, played by a fake (this platform's own answers are the first).
#include "ui/theme/md_xp_theme_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/os/visual_styles.h"

namespace talvrin::mdXpThemeSupport {
namespace {

struct FakeLibraries final : platform::VisualStyleLibraries {
    std::optional<platform::DllVersionInfo> version;
    std::vector<std::string>* calls = nullptr;

    std::optional<platform::DllVersionInfo> commonControlsVersion() noexcept override {
        return version;
    }
    bool loadLibrary(std::string_view name) noexcept override {
        calls->push_back("load " + std::string(name));
        return true;
    }
    bool initCommonControls(std::uint32_t size, std::uint32_t classes) noexcept override {
        calls->push_back("init " + std::to_string(size) + " " + std::to_string(classes));
        return true;
    }
    bool isAppThemed() noexcept override { return true; }
    bool isThemeActive() noexcept override { return true; }
    std::uint32_t themeAppProperties() noexcept override { return 7; }
};

// Installs a fake with the given major version (none: no library) for one test.
class ThemeSupport : public ::testing::Test {
  protected:
    FakeLibraries& install(std::optional<std::uint32_t> major) {
        auto fake = std::make_unique<FakeLibraries>();
        if (major) {
            fake->version = platform::DllVersionInfo{};
            fake->version->dwMajorVersion = *major;
        }
        fake->calls = &calls_;
        FakeLibraries& ref = *fake;
        platform::setVisualStyleLibraries(std::move(fake));
        return ref;
    }
    void TearDown() override { platform::setVisualStyleLibraries(nullptr); }
    std::vector<std::string> calls_;
};

struct Control final : ThemeControl {
    ControlKind k;
    std::int32_t style;
    std::optional<SubclassProcedure> subclassed;
    Control(ControlKind kind, std::int32_t s) : k(kind), style(s) {}
    ControlKind kind() const noexcept override { return k; }
    std::int32_t Style() const noexcept override { return style; }
    bool setWindowSubclass(SubclassProcedure p) noexcept override {
        subclassed = p;
        return true;
    }
};

TEST_F(ThemeSupport, FramesAndGraphicalButtonsAreSubclassedFromVersion6On) {
    for (const std::optional<std::uint32_t> major :
         {std::optional<std::uint32_t>{}, std::optional<std::uint32_t>{5},
          std::optional<std::uint32_t>{6}}) {
        install(major);
        const bool v6 = major && *major >= 6;
        Control graphical[] = {{ControlKind::CommandButton, kStyleGraphical},
                               {ControlKind::OptionButton, kStyleGraphical},
                               {ControlKind::CheckBox, kStyleGraphical}};
        Control standard[] = {{ControlKind::CommandButton, kStyleStandard},
                              {ControlKind::OptionButton, kStyleStandard},
                              {ControlKind::CheckBox, kStyleStandard},
                              {ControlKind::Other, kStyleGraphical}};
        Control frame(ControlKind::Frame, kStyleStandard);
        std::vector<ThemeControl*> all{&frame, nullptr};
        for (auto& c : graphical)
            all.push_back(&c);
        for (auto& c : standard)
            all.push_back(&c);
        EXPECT_EQ(FixThemeSupport(all), v6);
        const auto none = std::optional<SubclassProcedure>{};
        EXPECT_EQ(frame.subclassed, v6 ? SubclassProcedure::pvRedirectFrame : none);
        for (const auto& c : graphical)
            EXPECT_EQ(c.subclassed, v6 ? SubclassProcedure::pvRedirectButton : none);
        for (const auto& c : standard)
            EXPECT_EQ(c.subclassed, none);
    }
}

// The only test that initialises: the flag lives for the process.
TEST_F(ThemeSupport, InitVisualStylesRunsOncePerProcess) {
    install(6);
    InitVisualStyles();
    InitVisualStyles();
    EXPECT_EQ(calls_, (std::vector<std::string>{"load shell32.dll", "init 8 512"}));
}

}  // namespace
}  // namespace talvrin::mdXpThemeSupport
