// What the desktop's window messages say in the vocabulary of the image control's events (the
// mouse messages, buttons and shift keys), the cursors of the mouse-pointer values, and where
// the cursor is. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/geometry.h"

namespace talvrin::platform::win32 {

// A window message as mouse input: none, a move, a button going down, a button's double click
// (its second press), or a button going up.
enum class MouseMessage { None, Move, Down, DoubleClick, Up };
[[nodiscard]] MouseMessage mouseMessageOf(UINT message);

// Buttons and shift keys as the control's events count them: 1 left, 2 right, 4 middle; 1 shift,
// 2 control, 4 alt. The button of a mouse message (0 for a move), the buttons a message's key
// state holds, the shift keys of a message's key state (alt read now), and those held now.
[[nodiscard]] std::int16_t buttonOf(UINT message);
[[nodiscard]] std::int16_t buttonsHeld(WPARAM keys);
[[nodiscard]] std::int16_t shiftOf(WPARAM keys);
[[nodiscard]] std::int16_t shiftNow();

// The stock cursor of a mouse-pointer value (the arrow for 0 and the values without one).
[[nodiscard]] LPCSTR stockCursorOf(std::int16_t pointer);
// A cursor from icon or cursor file bytes (the file's first entry), or null.
[[nodiscard]] HCURSOR cursorFromFile(const std::vector<std::uint8_t>& bytes);

// Asks for WM_MOUSEHOVER after hoverMs over the window and WM_MOUSELEAVE when the mouse leaves it.
void trackHoverAndLeave(HWND window, DWORD hoverMs);

// The cursor's position on the screen (0, 0 where the desktop does not say).
[[nodiscard]] Point cursorPosition();
// A point of a window's client area on the screen; none when the window is gone.
[[nodiscard]] std::optional<Point> clientToScreen(HWND window, Point client);

}  // namespace talvrin::platform::win32
