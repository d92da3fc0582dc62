#include "platform/win32/win32_input.h"

namespace talvrin::platform::win32 {

MouseMessage mouseMessageOf(UINT message) {
    if (message == WM_MOUSEMOVE) return MouseMessage::Move;
    if (buttonOf(message) == 0) return MouseMessage::None;
    // Each button's messages follow one another: down, up, double click (left, right, middle).
    const UINT step = (message - WM_LBUTTONDOWN) % 3;
    return step == 0   ? MouseMessage::Down
           : step == 1 ? MouseMessage::Up
                       : MouseMessage::DoubleClick;
}

std::int16_t buttonOf(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            return 1;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
            return 2;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            return 4;
        default:
            return 0;
    }
}
std::int16_t buttonsHeld(WPARAM keys) {
    return static_cast<std::int16_t>(((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) |
                                     ((keys & MK_MBUTTON) ? 4 : 0));
}
std::int16_t shiftOf(WPARAM keys) {
    return static_cast<std::int16_t>(((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
                                     ((GetKeyState(VK_MENU) < 0) ? 4 : 0));
}
std::int16_t shiftNow() {
    return static_cast<std::int16_t>(((GetKeyState(VK_SHIFT) < 0) ? 1 : 0) |
                                     ((GetKeyState(VK_CONTROL) < 0) ? 2 : 0) |
                                     ((GetKeyState(VK_MENU) < 0) ? 4 : 0));
}

LPCSTR stockCursorOf(std::int16_t pointer) {
    switch (pointer) {
        case 2:
            return IDC_CROSS;
        case 3:
            return IDC_IBEAM;
        case 5:
        case 15:
            return IDC_SIZEALL;
        case 6:
            return IDC_SIZENESW;
        case 7:
            return IDC_SIZENS;
        case 8:
            return IDC_SIZENWSE;
        case 9:
            return IDC_SIZEWE;
        case 10:
            return IDC_UPARROW;
        case 11:
            return IDC_WAIT;
        case 12:
            return IDC_NO;
        case 13:
            return IDC_APPSTARTING;
        case 14:
            return IDC_HELP;
        default:
            return IDC_ARROW;
    }
}

HCURSOR cursorFromFile(const std::vector<std::uint8_t>& bytes) {
    // The file's directory is the resource directory after its 6-byte header, with each entry's
    // 4-byte offset standing where the resource form has a 2-byte identifier: too different to
    // hand over as it is, so the first entry is taken directly.
    if (bytes.size() < 22) return nullptr;
    const auto u16 = [&](std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) |
               (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    const bool isCursor = u16(2) == 2;
    if (u16(0) != 0 || (u16(2) != 1 && !isCursor) || u16(4) < 1) return nullptr;
    const std::uint32_t size = u32(6 + 8), offset = u32(6 + 12);
    if (offset > bytes.size() || size > bytes.size() - offset || size == 0) return nullptr;
    std::vector<BYTE> resource;
    if (isCursor) {  // the resource form of a cursor starts with its hot spot
        resource.insert(resource.end(), {bytes[6 + 4], bytes[6 + 5], bytes[6 + 6], bytes[6 + 7]});
    }
    resource.insert(resource.end(), bytes.begin() + offset, bytes.begin() + offset + size);
    return reinterpret_cast<HCURSOR>(
        CreateIconFromResourceEx(resource.data(), static_cast<DWORD>(resource.size()),
                                 isCursor ? FALSE : TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR));
}

void trackHoverAndLeave(HWND window, DWORD hoverMs) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, window, hoverMs};
    TrackMouseEvent(&track);
}

Point cursorPosition() {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

std::optional<Point> clientToScreen(HWND window, Point client) {
    POINT p{client.x, client.y};
    if (!IsWindow(window) || !ClientToScreen(window, &p)) return std::nullopt;
    return Point{p.x, p.y};
}

}  // namespace talvrin::platform::win32
