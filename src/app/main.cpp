// talvrin: the repair utility's window.
#include <QApplication>

#include "app/md_startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvrin"));
    talvrin::mdStartup::Main();
    const int status = QApplication::exec();
    talvrin::mdStartup::shutdown();
    return status;
}
