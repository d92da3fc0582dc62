#include "platform/qt/qt_startup_messages.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace talvrin::platform::qt {

namespace {

// Why no display could be opened, as far as the environment tells.
QString displayProblem() {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        return QStringLiteral("QT_QPA_PLATFORM=%1 did not start").arg(platform);
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty() && wayland.isEmpty()) return QStringLiteral("DISPLAY is not set");
    if (!display.isEmpty()) return QStringLiteral("DISPLAY=%1 does not answer").arg(display);
    return QStringLiteral("WAYLAND_DISPLAY=%1 does not answer").arg(wayland);
}

struct HeldMessage {
    QtMsgType type;
    QString category;
    QString text;
};
std::vector<HeldMessage>* gHeldMessages = nullptr;
QtMessageHandler gPreviousHandler = nullptr;
NoDisplayHandler gNoDisplay = nullptr;

void hold(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && gNoDisplay) gNoDisplay(displayProblem().toLocal8Bit().toStdString());
    if (gHeldMessages) {
        gHeldMessages->push_back(
            {type, QString::fromUtf8(context.category ? context.category : ""), text});
    }
}

}  // namespace

void holdStartupMessages(NoDisplayHandler noDisplay) {
    gNoDisplay = noDisplay;
    gHeldMessages = new std::vector<HeldMessage>;
    gPreviousHandler = qInstallMessageHandler(hold);
}

void releaseStartupMessages() {
    qInstallMessageHandler(gPreviousHandler);
    if (!gHeldMessages) return;
    for (const HeldMessage& held : *gHeldMessages) {
        const QByteArray category = held.category.toUtf8();
        const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
        if (gPreviousHandler) {
            gPreviousHandler(held.type, context, held.text);
        } else {
            qt_message_output(held.type, context, held.text);
        }
    }
    delete gHeldMessages;
    gHeldMessages = nullptr;
}

}  // namespace talvrin::platform::qt
