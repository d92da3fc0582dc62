#include "app/qt/qt_imaging_sessions.h"

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include "app/qt/vitrel_widget.h"
#include "image/bridge/gdiplus.h"

namespace talvrin::app::qt {

namespace {

// The live widget a handle names. A handle is only a number here: it is matched against the
// widgets that exist rather than taken for a pointer.
QWidget* liveWidget(WindowHandle handle) {
    if (handle == 0) return nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (VitrelWidget::handleOf(widget) == handle) return widget;
    return nullptr;
}

QObject* markerOf(const QWidget* top) {
    for (QObject* child : top->children())
        if (child->objectName() == QLatin1String(ImagingSessionBridge::kMarkerTitle) &&
            child->property("windowClass").toString() ==
                QLatin1String(ImagingSessionBridge::kMarkerClass))
            return child;
    return nullptr;
}

class QtImagingSessions final : public ImagingSessionBridge {
  public:
    [[nodiscard]] bool hasMarker(WindowHandle topLevel) const override {
        const QWidget* top = liveWidget(topLevel);
        return top != nullptr && markerOf(top) != nullptr;
    }

    std::uint32_t startup() override { return bridge::startSession(); }

    bool guard(WindowHandle topLevel, std::uint32_t token) override {
        QWidget* top = liveWidget(topLevel);
        if (top == nullptr) return false;
        auto* marker = new QObject(top);
        marker->setObjectName(QLatin1String(kMarkerTitle));
        marker->setProperty("windowClass", QLatin1String(kMarkerClass));
        // The marker is destroyed with its window, in the middle of that window's teardown:
        // the session ends later, from the event loop. Without an event loop left (the program
        // is ending) it ends at once.
        QObject::connect(marker, &QObject::destroyed, [token] {
            if (QCoreApplication::instance() == nullptr) {
                bridge::stopSession(token);
                return;
            }
            QTimer::singleShot(kShutdownDelayMs, QCoreApplication::instance(),
                               [token] { bridge::stopSession(token); });
        });
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
