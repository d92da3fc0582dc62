#include "app/frm_main_logic.h"

#include "platform/os/program_folder.h"

namespace talvrin {

namespace {

RepairHost repairHostOf(const FrmMainControls& c, CommandRunner* runner,
                        RedirectionSwitch* redirection, const bool* closing) {
    RepairHost host;
    host.list = c.list;
    host.closeButton = c.closeButton;
    host.startButton = c.startButton;
    host.timer = c.timer;
    host.messageBox = c.messageBox;
    host.runner = runner;
    host.redirection = redirection;
    host.quoteText = c.quoteText;
    host.programFolder = [] { return platform::programFolder(); };
    host.pumpMessages = c.pumpMessages;
    host.isClosing = [closing] { return *closing; };
    return host;
}

}  // namespace

FrmMainLogic::FrmMainLogic(FrmMainControls controls)
    : controls_(std::move(controls)),
      runListener_(controls_.pumpMessages),
      runner_(&objDOS_),
      sequence_(repairHostOf(controls_, &runner_, &redirection_, &closing_)) {}

FrmMainLogic::~FrmMainLogic() = default;

void FrmMainLogic::formLoad(std::span<mdXpThemeSupport::ThemeControl* const> themeControls) {
    mdXpThemeSupport::FixThemeSupport(themeControls);
    ownedDos_ = std::make_unique<DOSOutputs>();
    objDOS_ = ownedDos_.get();
    // Each chunk of output, and each idle wait while a command is silent, only keeps the window
    // responsive; the text is not shown.
    runListener_.listenTo(*objDOS_);
}

void FrmMainLogic::onStartClick() {
    if (controls_.timer) controls_.timer->setEnabled(true);
}

void FrmMainLogic::onTimerTick() {
    sequence_.onTick();
    // A runner released while it was still reading is freed only now that the tick has unwound.
    if (!sequence_.isRunning()) retiredDos_.reset();
}

void FrmMainLogic::releaseRunner() {
    if (!ownedDos_) return;
    objDOS_ = nullptr;
    // A runner inside ExecuteCommand (this close came through its listener's pumping) must
    // outlive the read on the stack; it is freed when the tick unwinds.
    if (ownedDos_->isRunning()) {
        retiredDos_ = std::move(ownedDos_);
    } else {
        ownedDos_.reset();
    }
}

bool FrmMainLogic::runClosingSteps() {
    if (closing_) return false;
    closing_ = true;
    // A command still running gets a last while for its output to end; the program ends when
    // the tick has unwound.
    runListener_.closeRequested();
    if (controls_.timer) controls_.timer->setEnabled(false);
    releaseRunner();
    return true;
}

}  // namespace talvrin
