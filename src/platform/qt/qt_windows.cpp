#include "platform/qt/qt_windows.h"

#include <QApplication>
#include <QObject>
#include <QTimer>

namespace talvrin::platform::qt {

QWidget* liveWidget(std::uintptr_t handle) {
    if (handle == 0) return nullptr;
    for (QWidget* widget : QApplication::allWidgets())
        if (handleOf(widget) == handle) return widget;
    return nullptr;
}

bool hasMarker(const QWidget& window, const char* title, const char* windowClass) {
    for (const QObject* child : window.children())
        if (child->objectName() == QLatin1String(title) &&
            child->property("windowClass").toString() == QLatin1String(windowClass))
            return true;
    return false;
}

void addMarker(QWidget& window, const char* title, const char* windowClass, int delayMs,
               std::function<void()> afterDestroyed) {
    auto* marker = new QObject(&window);
    marker->setObjectName(QLatin1String(title));
    marker->setProperty("windowClass", QLatin1String(windowClass));
    QObject::connect(marker, &QObject::destroyed, [delayMs, after = std::move(afterDestroyed)] {
        if (QCoreApplication::instance() == nullptr) {
            after();
            return;
        }
        QTimer::singleShot(delayMs, QCoreApplication::instance(), after);
    });
}

QWidget* widgetBeneath(const QWidget& self, QPoint global,
                       const std::function<bool(const QWidget*)>& takesOwnInput) {
    QWidget* box = self.parentWidget();
    if (!box) return nullptr;
    const QPoint p = box->mapFromGlobal(global);
    // The children list is the stacking order, the last on top.
    const QObjectList& kids = box->children();
    for (qsizetype i = kids.indexOf(const_cast<QWidget*>(&self)) - 1; i >= 0; --i) {
        auto* widget = qobject_cast<QWidget*>(kids.at(i));
        if (!widget || widget->isWindow() || !widget->isVisibleTo(box) ||
            widget->testAttribute(Qt::WA_TransparentForMouseEvents) ||
            !widget->geometry().contains(p))
            continue;
        if (takesOwnInput(widget)) return widget;
        QWidget* deepest = widget->childAt(widget->mapFrom(box, p));
        return deepest ? deepest : widget;
    }
    return box;
}

void sendMouseOn(const QMouseEvent& event, QWidget& target) {
    const QPointF global = event.globalPosition();
    QMouseEvent copy(event.type(), target.mapFromGlobal(global),
                     target.window()->mapFromGlobal(global), global, event.button(),
                     event.buttons(), event.modifiers(), event.pointingDevice());
    QCoreApplication::sendEvent(&target, &copy);
}

}  // namespace talvrin::platform::qt
