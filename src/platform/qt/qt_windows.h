// Widgets as the desktop's windows: a widget's handle and the live widget a handle names, hidden
// marker objects under a window (found by title and window class, as a child window would be),
// the widget beneath another one at a point, and a mouse event sent on to another widget.
#pragma once

#include <QMouseEvent>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace talvrin::platform::qt {

// A widget's identity as a window handle.
[[nodiscard]] inline std::uintptr_t handleOf(const QWidget* widget) noexcept {
    return reinterpret_cast<std::uintptr_t>(widget);
}
// The live widget a handle names, or null. A handle is only a number here: it is matched against
// the widgets that exist rather than taken for a pointer.
[[nodiscard]] QWidget* liveWidget(std::uintptr_t handle);

// Whether the window holds a marker object of that title and window class.
[[nodiscard]] bool hasMarker(const QWidget& window, const char* title, const char* windowClass);
// Leaves a hidden marker object under the window. The marker is destroyed with its window, in
// the middle of that window's teardown: afterDestroyed runs later, from the event loop, delayMs
// after, or at once when no event loop is left (the program is ending).
void addMarker(QWidget& window, const char* title, const char* windowClass, int delayMs,
               std::function<void()> afterDestroyed);

// The widget beneath `self` at a screen point: the next sibling down the stacking order whose
// rectangle holds it (its deepest child there, unless takesOwnInput says the sibling answers for
// itself), else the parent. Null for a widget without a parent. Hidden siblings and siblings
// transparent for the mouse are passed over.
[[nodiscard]] QWidget* widgetBeneath(const QWidget& self, QPoint global,
                                     const std::function<bool(const QWidget*)>& takesOwnInput);

// A copy of a mouse event delivered to another widget, at the same screen position.
void sendMouseOn(const QMouseEvent& event, QWidget& target);

}  // namespace talvrin::platform::qt
