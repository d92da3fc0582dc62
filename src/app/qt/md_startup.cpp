#include "app/qt/md_startup.h"

#include <QCoreApplication>

#include "app/qt/frm_main.h"
#include "app/qt/qt_imaging_sessions.h"
#include "app/qt/vitrel_widget.h"
#include "image/codecs/ico_parser.h"
#include "platform/picture/resources.h"
#include "platform/qt/qt_clipboard.h"
#include "resources/builtin_resources.h"
#include "ui/theme/md_xp_theme_support.h"

namespace talvrin::app::qt::mdStartup {

namespace {

std::unique_ptr<FrmMain> gMainWindow;

// Data-execution prevention is the operating system's business on this platform; the step keeps
// its place in the start-up order and does nothing.
void disableDataExecutionPrevention() {}

}  // namespace

FrmMain* Main() {
    disableDataExecutionPrevention();
    QCoreApplication::processEvents();
    mdXpThemeSupport::InitVisualStyles();
    // The host services the image code uses: the program's own resources, the route from the
    // picture loader to the icon decoder, the desktop's clipboard read through Qt, and the image
    // controls' imaging sessions, one per top-level window.
    platform::setProgramResources(builtInResources());
    installIconPictureRoute();
    platform::qt::installQtClipboard();
    installQtSystemColors();
    installQtImagingSessions();
    if (!gMainWindow) gMainWindow = std::make_unique<FrmMain>();
    gMainWindow->show();
    // A program just started takes the keyboard, so "Start" has the focus at once.
    gMainWindow->activateWindow();
    return gMainWindow.get();
}

FrmMain* mainWindow() {
    return gMainWindow.get();
}

void shutdown() {
    gMainWindow.reset();
}

}  // namespace talvrin::app::qt::mdStartup
