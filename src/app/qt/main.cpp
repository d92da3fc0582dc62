// talvrin: the repair utility's window.
#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/qt/md_startup.h"
#include "platform/qt/qt_startup_messages.h"

namespace {

// No display: one line and exit status 1 instead of the toolkit's fatal message and abort.
[[noreturn]] void noDisplay(const std::string& problem) {
    std::fprintf(stderr,
                 "talvrin: cannot open a display (%s); talvrin-repair runs the same repair on "
                 "the console\n",
                 problem.c_str());
    std::fflush(stderr);
    std::_Exit(1);
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
    talvrin::platform::qt::holdStartupMessages(noDisplay);
    QApplication app(argc, argv);
    talvrin::platform::qt::releaseStartupMessages();
    QApplication::setApplicationName(QStringLiteral("Talvrin"));
    talvrin::app::qt::mdStartup::Main();
    const int status = QApplication::exec();
    talvrin::app::qt::mdStartup::shutdown();
    return status;
}
