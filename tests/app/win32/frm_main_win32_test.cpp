// The real Win32 window with the real command runner, on a (virtual) display: its controls read
// back through user32, the logo's pixels read back from the screen, a whole run through "Start",
// a close request during a run, the image control's hit test, and talvrin.exe started as a
// process. Runs under Wine in the Windows stage; the executable carries the program's resources.
#include <windows.h>
// (windows.h first.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/frm_main_design.h"
#include "app/repair_sequence.h"
#include "app/win32/frm_main_win32.h"
#include "app/win32/vitrel_window.h"
#include "app/win32/win32_imaging_sessions.h"
#include "image/codecs/ico_parser.h"
#include "platform/picture/resources.h"
#include "platform/win32/win32_screen.h"
#include "platform/win32/win32_windows.h"
#include "resources/builtin_resources.h"
#include "support/process_cpu_win32.h"

namespace talvrin::app::win32 {
namespace {

namespace design = frm_main_design;

// The waits below are limited by processor time, so that a hang fails the test without any
// wall-clock assertion.
using testsupport::processCpuSeconds;
constexpr double kCpuLimitSeconds = 60;

// Pumps the thread's messages until done() holds; false when the processor-time limit is reached.
template <typename Done>
bool pumpUntil(Done done) {
    const double start = processCpuSeconds();
    while (!done()) {
        if (processCpuSeconds() - start > kCpuLimitSeconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pumpWindowMessages();
    }
    return true;
}

// The quit request a destroyed main window leaves behind is not the next test's.
void dropQuitRequest() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

int dpi() {
    const HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return value;
}

std::string windowText(HWND window) {
    return platform::win32::windowText(window, 1024);
}

RECT rectInParent(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class Win32Window : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        platform::setProgramResources(builtInResources());
        installIconPictureRoute();
        platform::win32::installScreenFacts(twipsAtDpi);
        installWin32ImagingSessions();  // as the program starts
    }
    void SetUp() override {
        form_ = FrmMainWin32::create();
        ASSERT_NE(form_, nullptr);
        form_->show();
        pumpWindowMessages();
    }
    void TearDown() override {
        form_.reset();
        dropQuitRequest();
    }
    std::unique_ptr<FrmMainWin32> form_;
};

TEST_F(Win32Window, ControlsSitAtTheirDesignRectanglesInTheirOrderWithTheirTexts) {
    const int d = dpi();
    RECT client;
    GetClientRect(form_->window(), &client);
    EXPECT_EQ(client.right, design::scaleToDpi(design::kClientWidth, d));
    EXPECT_EQ(client.bottom, design::scaleToDpi(design::kClientHeight, d));
    EXPECT_EQ(windowText(form_->window()), std::string(design::kCaption));

    std::vector<HWND> designOrder;
    for (const design::ControlDesign& c : design::kControls) {
        const HWND child = form_->control(c.name);
        if (c.kind == design::ControlKind::Timer) {
            EXPECT_EQ(child, nullptr);
            continue;
        }
        ASSERT_NE(child, nullptr) << c.name;
        designOrder.push_back(child);
        const RECT r = rectInParent(child);
        EXPECT_EQ(r.left, design::scaleToDpi(c.left, d)) << c.name;
        EXPECT_EQ(r.top, design::scaleToDpi(c.top, d)) << c.name;
        EXPECT_EQ(r.right - r.left, design::scaleToDpi(c.width, d)) << c.name;
        EXPECT_EQ(r.bottom - r.top, design::scaleToDpi(c.height, d)) << c.name;
        if (c.kind != design::ControlKind::ImageControl && c.kind != design::ControlKind::ListBox) {
            EXPECT_EQ(windowText(child), std::string(c.caption)) << c.name;
        }
        // One font for every control with text: Verdana (as asked for), bold, 6.75 pt.
        if (c.kind != design::ControlKind::ImageControl && c.kind != design::ControlKind::Picture) {
            LOGFONTA font{};
            const auto handle = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
            ASSERT_NE(handle, nullptr) << c.name;
            GetObjectA(handle, sizeof(font), &font);
            EXPECT_STREQ(font.lfFaceName, "Verdana") << c.name;
            EXPECT_EQ(font.lfWeight, design::kFontWeight) << c.name;
            EXPECT_EQ(-font.lfHeight, design::fontPixelHeight(d)) << c.name;
        }
    }
    // Stacking: the children from the top down are the design's controls from the last back.
    // (The imaging session's hidden marker window is no control of the design.)
    std::vector<HWND> topDown;
    for (HWND w = GetWindow(form_->window(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (std::find(designOrder.begin(), designOrder.end(), w) != designOrder.end())
            topDown.push_back(w);
    std::reverse(designOrder.begin(), designOrder.end());
    EXPECT_EQ(topDown, designOrder);

    EXPECT_EQ(GetFocus(), form_->control("Command2"));
    EXPECT_FALSE(IsWindowVisible(form_->control("Text2")));
    EXPECT_FALSE(form_->isTimer1Enabled());
    EXPECT_NE(form_->objDOS(), nullptr);
    // Tab and Shift+Tab follow the tab indices: Start, the list, Close, and back.
    const auto tab = [&](bool shift) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG m{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(FrmMainWin32::preTranslate(m));
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        return GetFocus();
    };
    EXPECT_EQ(tab(false), form_->control("List1"));
    EXPECT_EQ(tab(false), form_->control("Command1"));
    EXPECT_EQ(tab(false), form_->control("Command2"));
    EXPECT_EQ(tab(true), form_->control("Command1"));
}

// The link picture and its label: the drawn link cursor over them, and the label's text in the
// highlight colour; other controls keep the system's own.
TEST_F(Win32Window, TheLinkControlsShowTheLinkCursorAndTheLabelTheHighlightColour) {
    const HCURSOR link = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    ASSERT_NE(link, nullptr);
    struct Case {
        const char* name;
        bool linked;
    };
    for (const Case& c : {Case{"Image2", true}, Case{"Label4", true}, Case{"Label1", false},
                          Case{"Label2", false}}) {
        const HWND control = form_->control(c.name);
        SetCursor(nullptr);
        const LRESULT handled =
            SendMessageA(form_->window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(handled != 0, c.linked) << c.name;
        if (c.linked) {
            EXPECT_EQ(GetCursor(), link) << c.name;
        }
        const HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        SendMessageA(form_->window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control));
        const bool highlighted = GetTextColor(dc) == GetSysColor(COLOR_HIGHLIGHT);
        EXPECT_EQ(highlighted, std::string_view(c.name) == "Label4") << c.name;
        DeleteDC(dc);
    }
}

// The logo as the screen shows it and as its window prints it: the control's premultiplied
// pixels over the window colour.
TEST_F(Win32Window, TheLogoShowsItsPixelsOverTheWindowColour) {
    VitrelWindow* logo = form_->Vitrel1();
    ASSERT_NE(logo, nullptr);
    const c32bppDIB& image = logo->control().surface();
    ASSERT_EQ(image.Width(), 128);
    ASSERT_EQ(image.Height(), 128);
    RedrawWindow(form_->window(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();

    // Read back from the screen, and printed by the control's window onto a context of ours
    // (WM_PRINTCLIENT, as a copy of the window asks for it).
    const auto readBack = [&](bool printed) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 128, -128, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<std::uint8_t> pixels(128 * 128 * 4);
        const HDC window = GetDC(logo->window());
        const HDC memory = CreateCompatibleDC(window);
        const HBITMAP bitmap = CreateCompatibleBitmap(window, 128, 128);
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (printed) {
            SendMessageA(logo->window(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory),
                         PRF_CLIENT);
        } else {
            BitBlt(memory, 0, 0, 128, 128, window, 0, 0, SRCCOPY);
        }
        SelectObject(memory, previous);
        EXPECT_EQ(GetDIBits(memory, bitmap, 0, 128, pixels.data(), &info, DIB_RGB_COLORS), 128);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(logo->window(), window);
        return pixels;
    };
    for (const bool printed : {false, true}) {
        SCOPED_TRACE(printed ? "printed" : "on the screen");
        const std::vector<std::uint8_t> shot = readBack(printed);
        const COLORREF back = GetSysColor(COLOR_BTNFACE);
        int opaque = 0, translucent = 0, clear = 0, wrong = 0;
        for (int y = 0; y < 128; ++y) {
            for (int x = 0; x < 128; ++x) {
                std::int32_t alpha = 0;
                const std::int32_t c = image.GetPixel(x, y, alpha, true);
                const std::uint8_t* got = &shot[(static_cast<std::size_t>(y) * 128 + x) * 4];
                const int want[3] = {((c >> 16) & 0xFF) + GetBValue(back) * (255 - alpha) / 255,
                                     ((c >> 8) & 0xFF) + GetGValue(back) * (255 - alpha) / 255,
                                     (c & 0xFF) + GetRValue(back) * (255 - alpha) / 255};
                bool same = true;
                for (int k = 0; k < 3; ++k)
                    same = same && std::abs(got[k] - want[k]) <= 1;
                if (!same && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(got[2]) << ","
                                  << int(got[1]) << "," << int(got[0]) << ", not " << want[2] << ","
                                  << want[1] << "," << want[0];
                (alpha == 255 ? opaque : alpha == 0 ? clear : translucent)++;
            }
        }
        EXPECT_EQ(wrong, 0);
        // The logo has all three kinds of pixel, so the comparison saw blending at work.
        EXPECT_GT(opaque, 2000);
        EXPECT_GT(translucent, 400);
        EXPECT_GT(clear, 400);
    }
}

// The message box of the run, seen from a thread timer that the box's own loop dispatches.
struct BoxWatch {
    static inline BoxWatch* current = nullptr;
    FrmMainWin32* form = nullptr;
    int seen = 0;
    std::string caption, text;
    bool okOnly = false;
    int lines = 0, selected = -1;
    std::string lastLine;
    bool closeEnabled = false, startEnabled = false, timerOn = true;
    // Posts a close request once the list has this many lines (0: never).
    int closeAtLines = 0;
    int linesAtClose = 0;
    UINT_PTR timer = 0;

    explicit BoxWatch(FrmMainWin32& f) : form(&f) {
        current = this;
        timer = SetTimer(nullptr, 0, 10, &BoxWatch::tick);
    }
    ~BoxWatch() {
        KillTimer(nullptr, timer);
        current = nullptr;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current) current->look();
    }
    void look() {
        const HWND list = form->control("List1");
        if (closeAtLines > 0 && linesAtClose == 0 && list &&
            SendMessageA(list, LB_GETCOUNT, 0, 0) >= closeAtLines) {
            linesAtClose = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
            PostMessageA(form->window(), WM_CLOSE, 0, 0);
        }
        const HWND box = FindWindowA("#32770", nullptr);
        if (!box || GetWindow(box, GW_OWNER) != form->window()) return;
        ++seen;
        caption = windowText(box);
        char message[512] = {};
        GetDlgItemTextA(box, 0xFFFF, message, sizeof(message));
        text = message;
        okOnly = GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) && !GetDlgItem(box, IDYES);
        lines = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
        selected = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
        char last[256] = {};
        if (lines > 0) SendMessageA(list, LB_GETTEXT, lines - 1, reinterpret_cast<LPARAM>(last));
        lastLine = last;
        closeEnabled = IsWindowEnabled(form->control("Command1"));
        startEnabled = IsWindowEnabled(form->control("Command2"));
        timerOn = form->isTimer1Enabled();
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
};

TEST_F(Win32Window, StartRunsTheRepairAndOkEndsItWithBothButtonsEnabled) {
    BoxWatch watch(*form_);
    SendMessageA(form_->control("Command2"), BM_CLICK, 0, 0);
    // "Start" only enables the timer: the list changes at its first tick.
    EXPECT_TRUE(form_->isTimer1Enabled());
    EXPECT_EQ(SendMessageA(form_->control("List1"), LB_GETCOUNT, 0, 0), 0);
    ASSERT_TRUE(pumpUntil([&] { return watch.seen > 0 && !form_->isRepairRunning(); }))
        << "no message box within the processor-time limit";
    EXPECT_EQ(watch.seen, 1);
    EXPECT_EQ(watch.caption, std::string(kApplicationTitle));
    EXPECT_EQ(watch.text, std::string(kDoneMessage));
    EXPECT_TRUE(watch.okOnly);
    EXPECT_EQ(watch.lines, 12);
    EXPECT_EQ(watch.selected, 11);
    EXPECT_EQ(watch.lastLine, std::string(kDoneLine));
    EXPECT_TRUE(watch.closeEnabled);
    EXPECT_TRUE(watch.startEnabled);
    EXPECT_FALSE(watch.timerOn);
    EXPECT_TRUE(IsWindowEnabled(form_->control("Command1")));
    EXPECT_TRUE(IsWindowEnabled(form_->control("Command2")));
    EXPECT_FALSE(form_->isClosing());
}

TEST_F(Win32Window, ACloseRequestDuringTheRunEndsItWithoutTheBox) {
    BoxWatch watch(*form_);
    watch.closeAtLines = 4;  // the third step is listed
    SendMessageA(form_->control("Command2"), BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !form_->window() && !form_->isRepairRunning(); }))
        << "the window did not close within the processor-time limit";
    // The watch looks at every dispatch of its timer, and the window pumps while commands run
    // (also while one is silent), so the request comes while the third step or a later one is
    // listed, but well before the end of the run.
    EXPECT_GE(watch.linesAtClose, 4);
    EXPECT_LT(watch.linesAtClose, 12);
    EXPECT_EQ(watch.seen, 0);
    EXPECT_TRUE(form_->isClosing());
    EXPECT_EQ(form_->objDOS(), nullptr);
    EXPECT_EQ(form_->Vitrel1(), nullptr);
    EXPECT_FALSE(form_->isTimer1Enabled());
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        << "the program ends with its last window";
}

// WM_NCHITTEST answers as the control's hit test says; the desktop then routes a point the
// control does not own to the window beneath (WindowFromPoint follows the same answers).
TEST_F(Win32Window, PointsTheLogoDoesNotOwnGoToTheWindowBeneath) {
    VitrelWindow* logo = form_->Vitrel1();
    ASSERT_NE(logo, nullptr);
    const HWND control = logo->window();
    struct Case {
        std::int32_t hitTest;
        POINT point;  // in the control
        bool owned;
    };
    // The shield's corners are transparent, its middle opaque.
    const Case cases[] = {
        {0, {1, 1}, true},   {0, {64, 64}, true},  {1, {64, 64}, true},
        {3, {1, 1}, false},  {3, {126, 1}, false}, {3, {1, 126}, false},
        {3, {64, 64}, true}, {2, {64, 64}, true},  {2, {1, 1}, false},
    };
    for (const Case& c : cases) {
        logo->control().setHitTest(c.hitTest);
        POINT screen = c.point;
        ClientToScreen(control, &screen);
        const LRESULT answer =
            SendMessageA(control, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
        EXPECT_EQ(answer, c.owned ? HTCLIENT : HTTRANSPARENT)
            << "HitTest " << c.hitTest << " at " << c.point.x << "," << c.point.y;
        EXPECT_EQ(WindowFromPoint(screen), c.owned ? control : form_->window())
            << "HitTest " << c.hitTest << " at " << c.point.x << "," << c.point.y;
    }
}

// talvrin.exe as a user starts it: its window appears, painted, and a close request ends the
// program with status 0. Prints the start-up time to the painted window.
TEST(Win32Program, StartsToAPaintedWindowAndEndsOnClose) {
    const std::string folder = std::string(TALVRIN_BIN_DIR);
    std::string command = "\"" + folder + "/talvrin.exe\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &process))
        << "could not start " << command;
    HWND window = nullptr;
    bool exited = false;
    while (!window && !exited) {
        ASSERT_LT(processCpuSeconds(process.hProcess), kCpuLimitSeconds) << "no window appeared";
        exited = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0;
        const HWND found = FindWindowA(FrmMainWin32::kClassName, nullptr);
        if (found && IsWindowVisible(found)) window = found;
    }
    ASSERT_FALSE(exited) << "talvrin.exe ended before showing its window";
    // Idle for input: the first paint is done.
    WaitForInputIdle(process.hProcess, INFINITE);
    QueryPerformanceCounter(&after);
    std::printf("talvrin.exe: start-up to a painted window in %.0f ms\n",
                1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
    EXPECT_EQ(windowText(window), std::string(design::kCaption));
    HWND logo = FindWindowExA(window, nullptr, VitrelWindow::kClassName, nullptr);
    EXPECT_NE(logo, nullptr);

    PostMessageA(window, WM_CLOSE, 0, 0);
    while (WaitForSingleObject(process.hProcess, 10) != WAIT_OBJECT_0)
        ASSERT_LT(processCpuSeconds(process.hProcess), kCpuLimitSeconds) << "did not end on close";
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace talvrin::app::win32
