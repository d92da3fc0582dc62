#include "app/win32/frm_main_win32.h"

#include <shellapi.h>

#include <string>

#include "app/frm_main_design.h"
#include "app/win32/resource_ids.h"
#include "app/win32/theme_fix_win32.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/win32/module_resources.h"
#include "platform/win32/win32_canvas.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_screen.h"
#include "platform/win32/win32_windows.h"

namespace talvrin::app::win32 {

namespace {

namespace design = frm_main_design;

// Child identifiers: the design index after a base, so WM_COMMAND names the control.
constexpr int kFirstChildId = 100;

// The link picture decoded by the image library and laid over the window's colour, as a bitmap
// for a static picture control; null when it cannot be made.
HBITMAP linkPictureBitmap() {
    const auto bytes = platform::win32::programResource(RT_RCDATA, TALVRIN_DATA_LINK_PICTURE);
    c32bppDIB picture;
    std::vector<std::uint8_t> pixels;
    if (!picture.LoadPicture_Stream(bytes) ||
        !picture.GetDIBbits(pixels, false, true, true, true, false))
        return nullptr;
    // Exported top-down, laid over the window's colour.
    return platform::win32::createTopDownBitmap(
        picture.Width(), picture.Height(), [&](std::uint8_t* bits) {
            platform::win32::composeOverColor(pixels, GetSysColor(COLOR_BTNFACE), bits);
        });
}

}  // namespace

// ---- Creation -----------------------------------------------------------------------------------

std::unique_ptr<FrmMainWin32> FrmMainWin32::create() {
    static const bool registered = platform::win32::registerWindowClass(
        kClassName, 0, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TALVRIN_ICON_WINDOW)),
        GetSysColorBrush(COLOR_BTNFACE));
    if (!registered) return nullptr;
    std::unique_ptr<FrmMainWin32> form(new FrmMainWin32());
    const std::int32_t dpi = platform::win32::screenDotsPerInch(false, design::kDesignDpi);
    constexpr DWORD kStyle =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const std::string caption(design::kCaption);
    form->window_ = platform::win32::createTopLevelWindow(
        kClassName, caption.c_str(), kStyle, design::scaleToDpi(design::kClientWidth, dpi),
        design::scaleToDpi(design::kClientHeight, dpi));
    if (!form->window_) return nullptr;
    platform::win32::attachObject(form->window_, form.get(), &FrmMainWin32::windowProc);
    // One font for the window and every control: Verdana 6.75 pt bold (the system's nearest
    // face where Verdana is missing).
    form->font_ = platform::win32::createFont(std::string(design::kFontFamily),
                                              design::fontPixelHeight(dpi), design::kFontWeight);
    SendMessageA(form->window_, WM_SETFONT, reinterpret_cast<WPARAM>(form->font_), FALSE);
    form->linkCursor_ =
        LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TALVRIN_CURSOR_LINK));
    form->linkPicture_ = linkPictureBitmap();
    form->controls_.assign(design::kControls.size(), nullptr);
    if (!form->core_.build(dpi)) return nullptr;
    // Stacking follows the design order: each later control above the ones before it.
    platform::win32::stackInOrder(form->controls_);
    form->core_.load();
    return form;
}

bool FrmMainWin32::makeControl(std::size_t index, const design::ControlDesign& c, const Rect& at) {
    const int id = kFirstChildId + static_cast<int>(index);
    const int x = at.left, y = at.top;
    const int w = static_cast<int>(at.width()), h = static_cast<int>(at.height());
    const char* className = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, exStyle = 0;
    switch (c.kind) {
        case design::ControlKind::Timer:
            return true;  // a window timer, not a window
        case design::ControlKind::ImageControl:
            vitrel1_ = VitrelWindow::create(window_, x, y, w, h, id);
            if (!vitrel1_) return false;
            controls_[index] = vitrel1_->window();
            return true;
        case design::ControlKind::TextBox:
            // Only read by the program; the logo covers its place.
            className = "EDIT";
            style = WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case design::ControlKind::PushButton:
            className = "BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case design::ControlKind::ListBox:
            className = "LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case design::ControlKind::Picture:
            className = "STATIC";
            style |= SS_BITMAP | SS_NOTIFY;
            break;
        case design::ControlKind::Label:
            className = "STATIC";
            style |= SS_LEFT | (c.opensMakerPage ? SS_NOTIFY : 0);
            break;
    }
    const std::string caption(c.caption);
    const HWND child = platform::win32::createChildWindow(window_, className, caption.c_str(),
                                                          style, exStyle, x, y, w, h, id);
    if (!child) return false;
    controls_[index] = child;
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (c.kind == design::ControlKind::Picture && linkPicture_) {
        SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(linkPicture_));
        // The picture control sizes itself to its bitmap: back to the design's rectangle.
        SetWindowPos(child, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

// The logo control's stored properties, compiled into the program.
std::string FrmMainWin32::logoProperties() {
    const auto bytes = platform::win32::programResource(RT_RCDATA, TALVRIN_DATA_LOGO_BAG);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

FrmMainWin32::~FrmMainWin32() {
    if (timer1On_ && window_) KillTimer(window_, kTimer1Id);
    vitrel1_.reset();
    platform::win32::destroyAttachedWindow(window_);
    if (font_) DeleteObject(font_);
    if (linkPicture_) DeleteObject(linkPicture_);
}

void FrmMainWin32::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    const auto order = design::tabOrder();
    if (!order.empty()) SetFocus(control(order.front()));
}

HWND FrmMainWin32::control(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < design::kControls.size() && i < controls_.size(); ++i)
        if (design::kControls[i].name == name) return controls_[i];
    return nullptr;
}

// ---- Events -------------------------------------------------------------------------------------

LRESULT CALLBACK FrmMainWin32::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = platform::win32::attachedTo<FrmMainWin32>(window, kClassName);
    if (!form) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        platform::win32::detachObject(window);
        form->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return form->handle(message, wParam, lParam);
}

LRESULT FrmMainWin32::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    // The control of the design a command or a colour request comes from (none for others).
    const auto* from = designOf(reinterpret_cast<HWND>(lParam));
    switch (message) {
        case WM_COMMAND:
            // A click (BN_CLICKED and STN_CLICKED are both 0) on a control of the design.
            if (from && HIWORD(wParam) == BN_CLICKED) core_.onClick(from->name);
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1Id) {
                core_.onTimerTick();
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
            // The maker's label in the highlight colour.
            if (from && ShellCore::inHighlightColour(*from)) {
                return platform::win32::staticColors(reinterpret_cast<HDC>(wParam), COLOR_HIGHLIGHT,
                                                     COLOR_BTNFACE);
            }
            break;
        case WM_SETCURSOR: {
            const auto* over = designOf(reinterpret_cast<HWND>(wParam));
            if (linkCursor_ && LOWORD(lParam) == HTCLIENT && over &&
                ShellCore::showsLinkCursor(*over)) {
                SetCursor(linkCursor_);
                return TRUE;
            }
            break;
        }
        case WM_CLOSE:
            close();  // never refused
            return 0;
        case WM_DESTROY:
            // The program lives as long as its window.
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

const design::ControlDesign* FrmMainWin32::designOf(HWND child) const noexcept {
    for (std::size_t i = 0; child && i < controls_.size(); ++i)
        if (controls_[i] == child) return &design::kControls[i];
    return nullptr;
}

void FrmMainWin32::enable(std::string_view name, bool enabled) {
    if (name == "Timer1") {
        setTimer1(enabled);
    } else {
        EnableWindow(control(name), enabled ? TRUE : FALSE);
    }
}

void FrmMainWin32::clearList() {
    SendMessageA(control("List1"), LB_RESETCONTENT, 0, 0);
}

void FrmMainWin32::addListLine(const std::string& line) {
    SendMessageA(control("List1"), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

int FrmMainWin32::listCount() const {
    const LRESULT n = SendMessageA(control("List1"), LB_GETCOUNT, 0, 0);
    return n == LB_ERR ? 0 : static_cast<int>(n);
}

// Selecting a line also scrolls it into view.
void FrmMainWin32::selectListLine(int index) {
    SendMessageA(control("List1"), LB_SETCURSEL, index, 0);
}

std::string FrmMainWin32::text(std::string_view name) const {
    return platform::win32::windowText(control(name), 64);
}

// One OK button, no icon.
void FrmMainWin32::showMessage(const std::string& text, const std::string& caption) {
    MessageBoxA(window_, text.c_str(), caption.c_str(), MB_OK);
}

std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> FrmMainWin32::themeControls() {
    return themeControlsOf(window_);
}

// The program's own page, beside the executables in doc\ (the result is not examined).
void FrmMainWin32::openPage(const std::string& path) {
    ShellExecuteA(window_, "Open", path.c_str(), "", "", SW_SHOWNORMAL);
}

void FrmMainWin32::setTimer1(bool on) {
    if (!window_) return;
    if (on) {
        timer1On_ = SetTimer(window_, kTimer1Id, design::kTimerIntervalMs, nullptr) != 0;
    } else {
        KillTimer(window_, kTimer1Id);
        timer1On_ = false;
    }
}

// Each control unloaded in turn, with the window's messages processed after each; a tick on the
// stack finds the window closing at its next pump and touches nothing more.
void FrmMainWin32::unloadControl(std::size_t index) {
    if (!controls_[index]) return;
    if (vitrel1_ && controls_[index] == vitrel1_->window()) {
        vitrel1_.reset();  // the control first, then its window
    } else {
        DestroyWindow(controls_[index]);
    }
    controls_[index] = nullptr;
    pumpWindowMessages();
}

void FrmMainWin32::close() {
    if (core_.close() && window_) DestroyWindow(window_);
}

// ---- Keyboard and pumping -----------------------------------------------------------------------

bool FrmMainWin32::moveFocus(bool backwards) {
    const auto* focused = designOf(GetFocus());
    const auto next = ShellCore::nextTabStop(
        focused ? focused->name : "", backwards,
        [this](std::string_view name) { return platform::win32::canTakeFocus(control(name)); });
    if (next.empty()) return false;
    SetFocus(control(next));
    return true;
}

bool FrmMainWin32::preTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    auto* form =
        platform::win32::attachedTo<FrmMainWin32>(GetAncestor(message.hwnd, GA_ROOT), kClassName);
    return form && form->moveFocus(GetKeyState(VK_SHIFT) < 0);
}

void pumpWindowMessages() {
    platform::win32::pumpMessages(&FrmMainWin32::preTranslate);
}

}  // namespace talvrin::app::win32
