// The visual-style fix on real windows under Wine: the system's libraries as the fix finds them,
// which controls of a window it subclasses with which procedure, and a graphical button painted
// by pvDrawButton (its picture centred in the content area, the area around it filled).
#include <windows.h>
// (windows.h first.)
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/win32/theme_fix_win32.h"
#include "platform/gdi/bitmap.h"
#include "platform/os/visual_styles.h"
#include "platform/picture/picture.h"
#include "platform/win32/system_functions.h"
#include "ui/theme/md_xp_theme_support.h"

namespace talvrin::app::win32 {
namespace {

// A top-level window that goes away with the test.
struct TestWindow {
    HWND window = CreateWindowExA(0, "STATIC", "theme fix", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ~TestWindow() { DestroyWindow(window); }
    HWND add(const char* className, DWORD style, int x, int y, int w, int h,
             HWND parent = nullptr) {
        return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                               parent ? parent : window, nullptr, GetModuleHandleA(nullptr),
                               nullptr);
    }
};

// The system's libraries, except that the common controls report version 6: Wine's library of
// version 6 (the side-by-side one the manifest selects) reports 5.81 from DllGetVersion, so
// under Wine the fix would find no version 6 and, as it must for an older library, subclass
// nothing.
struct ReportingVersion6 final : platform::VisualStyleLibraries {
    platform::VisualStyleLibraries& system = platform::systemVisualStyleLibraries();
    std::optional<platform::DllVersionInfo> commonControlsVersion() noexcept override {
        auto version = system.commonControlsVersion();
        if (version) version->dwMajorVersion = std::max<std::uint32_t>(version->dwMajorVersion, 6);
        return version;
    }
    bool loadLibrary(std::string_view name) noexcept override { return system.loadLibrary(name); }
    bool initCommonControls(std::uint32_t size, std::uint32_t classes) noexcept override {
        return system.initCommonControls(size, classes);
    }
    bool isAppThemed() noexcept override { return system.isAppThemed(); }
    bool isThemeActive() noexcept override { return system.isThemeActive(); }
    std::uint32_t themeAppProperties() noexcept override { return system.themeAppProperties(); }
};

// The program's manifest asks for the common controls of version 6: the library in use is the
// side-by-side assembly of that version, and the fix asks that very library for its version.
TEST(ThemeFixWin32, TheManifestPutsCommonControlsSixInUseAndTheFixFindsItsFunctions) {
    mdXpThemeSupport::InitVisualStyles();
    char path[MAX_PATH] = {};
    GetModuleFileNameA(platform::win32::systemLibrary("comctl32.dll"), path, MAX_PATH);
    EXPECT_NE(std::string(path).find("common-controls_6595b64144ccf1df_6."), std::string::npos)
        << path;
    const auto version = platform::systemVisualStyleLibraries().commonControlsVersion();
    ASSERT_TRUE(version.has_value()) << "DllGetVersion of comctl32 was not found";
    EXPECT_EQ(mdXpThemeSupport::IsComCtl6Loaded(), version->dwMajorVersion > 5);
    const auto& subclass = platform::win32::subclassFunctions();
    EXPECT_NE(subclass.SetWindowSubclass, nullptr);
    EXPECT_NE(subclass.DefSubclassProc, nullptr);
    const auto& theme = platform::win32::themeFunctions();
    EXPECT_NE(theme.OpenThemeData, nullptr);
    EXPECT_NE(theme.DrawThemeBackground, nullptr);
    EXPECT_NE(theme.DrawThemeParentBackground, nullptr);
    EXPECT_NE(theme.CloseThemeData, nullptr);
    // A function no system has is found as missing, not as a crash.
    EXPECT_EQ(platform::win32::systemFunction<void (*)()>("uxtheme.dll", "NoSuchFunction"),
              nullptr);
    EXPECT_EQ(platform::win32::systemFunction<void (*)()>("no_such_library.dll", "F"), nullptr);
}

TEST(ThemeFixWin32, FramesAndGraphicalButtonsAreSubclassedAndNothingElse) {
    auto previous = platform::setVisualStyleLibraries(std::make_unique<ReportingVersion6>());
    ASSERT_TRUE(mdXpThemeSupport::IsComCtl6Loaded());
    TestWindow form;
    GraphicalButton record;
    const HWND frame = form.add("BUTTON", BS_GROUPBOX, 5, 5, 150, 100);
    const HWND inFrame = form.add("BUTTON", BS_AUTOCHECKBOX | BS_PUSHLIKE, 10, 20, 60, 23, frame);
    const HWND graphical = form.add("BUTTON", BS_PUSHBUTTON, 160, 5, 80, 23);
    const HWND standard = form.add("BUTTON", BS_PUSHBUTTON, 160, 35, 80, 23);
    const HWND option = form.add("BUTTON", BS_AUTORADIOBUTTON, 160, 65, 80, 23);
    const HWND label = form.add("STATIC", SS_LEFT, 160, 95, 80, 23);
    makeGraphical(inFrame, &record);
    makeGraphical(graphical, &record);
    makeGraphical(label, &record);  // only buttons have a Style

    const auto controls = themeControlsOf(form.window);
    std::vector<mdXpThemeSupport::ThemeControl*> list;
    for (const auto& c : controls)
        list.push_back(c.get());
    ASSERT_EQ(list.size(), 6u) << "the frame's button is collected too";
    EXPECT_TRUE(mdXpThemeSupport::FixThemeSupport(list));
    platform::setVisualStyleLibraries(std::move(previous));

    const auto getSubclass = platform::win32::subclassFunctions().GetWindowSubclass;
    ASSERT_NE(getSubclass, nullptr);
    struct Case {
        HWND window;
        SUBCLASSPROC procedure;  // null: not subclassed
        DWORD_PTR reference;
    };
    const Case cases[] = {
        {frame, pvRedirectFrame, 0},
        {inFrame, pvRedirectButton, reinterpret_cast<DWORD_PTR>(&record)},
        {graphical, pvRedirectButton, reinterpret_cast<DWORD_PTR>(&record)},
        {standard, nullptr, 0},
        {option, nullptr, 0},
        {label, nullptr, 0},
    };
    for (const Case& c : cases) {
        for (SUBCLASSPROC procedure : {&pvRedirectFrame, &pvRedirectButton}) {
            DWORD_PTR reference = 0;
            const bool has = getSubclass(c.window, procedure, 0, &reference) != FALSE;
            EXPECT_EQ(has, procedure == c.procedure) << "control " << (&c - cases);
            if (has) {
                EXPECT_EQ(reference, c.reference) << "control " << (&c - cases);
            }
        }
    }
    // Subclassed windows still work as buttons.
    SendMessageA(graphical, BM_SETSTATE, TRUE, 0);
    EXPECT_NE(SendMessageA(graphical, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
}

// pvDrawButton on a memory context: the 16 x 16 picture centred in the button's content area,
// and outside the button's shape the parent's background or, failing that, the BackColor.
TEST(ThemeFixWin32, AGraphicalButtonIsDrawnWithItsPictureCentred) {
    TestWindow form;
    const HWND button = form.add("BUTTON", BS_PUSHBUTTON, 0, 0, 64, 40);
    auto bitmap = platform::Bitmap::create(16, 16, 32);
    ASSERT_NE(bitmap, nullptr);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            std::uint8_t* p = bitmap->rowFromTop(y) + x * 4;
            p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 255;  // opaque red
        }
    GraphicalButton record;
    record.Picture = platform::Picture::fromBitmap(std::move(bitmap));
    record.BackColor = RGB(0, 128, 0);
    ASSERT_NE(record.Picture, nullptr);

    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -40, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(target, nullptr);
    const HGDIOBJ previous = SelectObject(dc, target);
    std::memset(bits, 0xFF, 64 * 40 * 4);
    pvDrawButton(button, dc, record);
    GdiFlush();
    const auto* px = static_cast<const std::uint8_t*>(bits);
    const auto at = [&](int x, int y) {
        const std::uint8_t* p = px + (y * 64 + x) * 4;
        return RGB(p[2], p[1], p[0]);
    };
    // The picture's middle lies at the middle of the content area, which the theme (or the
    // whole button without one) centres in the button.
    EXPECT_EQ(at(32, 20), RGB(255, 0, 0));
    int red = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            red += at(x, y) == RGB(255, 0, 0);
    EXPECT_EQ(red, 16 * 16);
    // Without an active theme nothing draws the button's face: the BackColor fills it.
    if (!mdXpThemeSupport::IsAppThemedActive()) {
        EXPECT_EQ(at(1, 1), RGB(0, 128, 0));
    }
    SelectObject(dc, previous);
    DeleteObject(target);
    DeleteDC(dc);
}

}  // namespace
}  // namespace talvrin::app::win32
