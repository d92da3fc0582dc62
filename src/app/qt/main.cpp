// talvrin: the repair utility's window.
#include <QApplication>
#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/qt/md_startup.h"

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

// While the application object is made, the toolkit's messages are held back: when no display
// can be opened the toolkit ends the program with a long fatal message (and an abort), which is
// replaced by one line and exit status 1. When a display opens, the held messages go on as usual.
struct HeldMessage {
    QtMsgType type;
    QString category;
    QString text;
};
std::vector<HeldMessage>* gHeldMessages = nullptr;
QtMessageHandler gPreviousHandler = nullptr;

void holdStartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "talvrin: cannot open a display (%s); talvrin-repair runs the same repair on "
                     "the console\n",
                     displayProblem().toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (gHeldMessages) {
        gHeldMessages->push_back(
            {type, QString::fromUtf8(context.category ? context.category : ""), text});
    }
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

}  // namespace

int main(int argc, char** argv) {
    // The version is printed without opening a window.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("talvrin %s\n", TALVRIN_VERSION);
            return 0;
        }
    }
    gHeldMessages = new std::vector<HeldMessage>;
    gPreviousHandler = qInstallMessageHandler(holdStartupMessages);
    QApplication app(argc, argv);
    releaseStartupMessages();
    QApplication::setApplicationName(QStringLiteral("Talvrin"));
    talvrin::app::qt::mdStartup::Main();
    const int status = QApplication::exec();
    talvrin::app::qt::mdStartup::shutdown();
    return status;
}
