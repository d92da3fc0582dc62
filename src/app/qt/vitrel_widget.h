// The Qt host of the image control: a widget that holds a Vitrel and is its VitrelHost. It
// paints through the software device context onto an offscreen canvas that starts with the
// parent's background, so the control's translucent pixels blend over whatever the window shows
// behind it, and then draws the canvas.
//
// Input: the control stands for a windowless control, which the desktop asks whether a point
// is its own before it delivers mouse input. Qt has no such query, so the widget asks the
// control on every mouse event; a point that is not the control's goes on to the widget beneath
// it (another image control included, which asks its own control), and a press passed on keeps
// going there until its last button is up. The window under the cursor is reported as the
// container while the cursor is over any image control, as for a windowless control. Timers
// are the shared Qt window timers (platform/qt/qt_timers.h).
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/control/vitrel.h"
#include "image/control/vitrel_host_base.h"
#include "platform/qt/qt_windows.h"

namespace talvrin::app::qt {

class VitrelWidget final : public QWidget, public VitrelHostBase {
  public:
    explicit VitrelWidget(QWidget* parent = nullptr);
    // The control goes first, while the host it calls on is whole.
    ~VitrelWidget() override;

    [[nodiscard]] Vitrel& control() noexcept { return *control_; }
    [[nodiscard]] const Vitrel& control() const noexcept { return *control_; }
    // Who receives the control's events (not owned).
    void setEventSink(VitrelEvents* sink) noexcept { control_->setEventSink(sink); }
    // A widget's identity as a window handle.
    [[nodiscard]] static WindowHandle handleOf(const QWidget* widget) noexcept {
        return platform::qt::handleOf(widget);
    }

    // ---- VitrelHost ----
    [[nodiscard]] std::int32_t width() const override { return QWidget::width(); }
    [[nodiscard]] std::int32_t height() const override { return QWidget::height(); }
    void requestRepaint() override { update(); }
    [[nodiscard]] WindowHandle containerWindow() const override;
    [[nodiscard]] WindowHandle topLevelWindow(WindowHandle window) const override;
    [[nodiscard]] std::vector<ContainerControl> containerControls() const override;
    bool setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                  std::function<void()> onTick) override;
    void killTimer(WindowHandle window, std::intptr_t id) override;
    [[nodiscard]] Point cursorPos() const override;
    [[nodiscard]] WindowHandle windowFromPoint(Point screen) const override;
    [[nodiscard]] std::optional<Point> clientToScreen(WindowHandle window,
                                                      Point client) const override;
    // The widget's own enabled state (false too while its parent is disabled).
    [[nodiscard]] bool enabled() const override { return isEnabled(); }
    void setEnabled(bool value) override { QWidget::setEnabled(value); }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    [[nodiscard]] std::int32_t dotsPerInch(bool horizontal) const override {
        return horizontal ? logicalDpiX() : logicalDpiY();
    }
    void resizeWindow(std::int32_t width, std::int32_t height) override { resize(width, height); }
    void cursorChanged(bool /*iconChanged*/) override { applyCursor(); }
    bool applyDropMode(std::int16_t mode) override {
        setAcceptDrops(mode != 0);
        return true;
    }
    void applyCursor();
    // The container: the parent widget, or the widget itself when it has none.
    [[nodiscard]] QWidget* container() const;
    void routeMouse(QMouseEvent* event);
    // Shows the cursor of the widget an event went on to, or the control's own (null).
    void borrowCursor(QWidget* from);
    // Hands a drag's position and data to the control; answers the control's effect.
    std::int32_t dragOver(QDropEvent* event, std::int16_t state);

    std::unique_ptr<Vitrel> control_;
    // A press went on to the widget beneath: the events go there until the last button is up.
    bool forwarding_ = false;
    QPointer<QWidget> forwardTarget_;
    // A press went to the control: its events go to it until the last button is up.
    bool controlGrab_ = false;
    bool borrowing_ = false;
    QPointer<QWidget> cursorFrom_;
};

}  // namespace talvrin::app::qt
