#include "app/qt/qt_imaging_sessions.h"

#include "image/bridge/gdiplus.h"
#include "platform/qt/qt_windows.h"

namespace talvrin::app::qt {

namespace {

using platform::qt::liveWidget;

class QtImagingSessions final : public ImagingSessionBridge {
  public:
    [[nodiscard]] bool hasMarker(WindowHandle topLevel) const override {
        const QWidget* top = liveWidget(topLevel);
        return top != nullptr && platform::qt::hasMarker(*top, kMarkerTitle, kMarkerClass);
    }

    std::uint32_t startup() override { return bridge::startSession(); }

    bool guard(WindowHandle topLevel, std::uint32_t token) override {
        QWidget* top = liveWidget(topLevel);
        if (top == nullptr) return false;
        // The session ends after the window is gone, outside its teardown.
        platform::qt::addMarker(*top, kMarkerTitle, kMarkerClass, kShutdownDelayMs,
                                [token] { bridge::stopSession(token); });
        return true;
    }
};

}  // namespace

std::unique_ptr<ImagingSessionBridge> makeQtImagingSessions() {
    return std::make_unique<QtImagingSessions>();
}

void installQtImagingSessions() {
    setImagingSessionBridge(makeQtImagingSessions());
}

}  // namespace talvrin::app::qt
