// The main window's behaviour, free of any window system, shared by the Qt and the Win32 shell:
// the load handler (theme fix, the command runner objDOS and its listener), "Start", the timer's
// tick running the repair sequence, and the closing steps. The window's core (app/shell_core.h)
// owns one, hands it the shell's controls through the repair sequence's small interfaces, and
// forwards the shell's events to it.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/dos_command_runner.h"
#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"
#include "app/system_redirection.h"
#include "app/window_run_listener.h"
#include "ui/theme/md_xp_theme_support.h"

namespace talvrin {

// What the shell supplies: the controls the sequence drives, the text box's text and the pump.
struct FrmMainControls {
    ProgressList* list = nullptr;            // List1
    Switchable* closeButton = nullptr;       // Command1, "Close"
    Switchable* startButton = nullptr;       // Command2, "Start"
    Switchable* timer = nullptr;             // Timer1
    MessageBoxHost* messageBox = nullptr;    // the final box
    std::function<std::string()> quoteText;  // the text of Text2
    std::function<void()> pumpMessages;      // process pending window messages once
};

class FrmMainLogic {
  public:
    explicit FrmMainLogic(FrmMainControls controls);
    ~FrmMainLogic();
    FrmMainLogic(const FrmMainLogic&) = delete;
    FrmMainLogic& operator=(const FrmMainLogic&) = delete;

    // Load: the visual-style fix of the window's controls (its result is not needed), then a new
    // runner in objDOS whose every chunk of output, and every idle wait while a command is
    // silent, only pumps the window's messages.
    void formLoad(std::span<mdXpThemeSupport::ThemeControl* const> themeControls);
    // "Start": enables the timer; the sequence runs in its next tick.
    void onStartClick();
    // The timer's tick: the repair sequence (a nested tick does nothing).
    void onTimerTick();
    // The closing steps: the timer stops and the runner is released at once (a runner still
    // reading, because this close came through its listener's pumping, lives until the tick
    // unwinds, and reads the running command's output for at most WindowRunListener::kCloseGrace
    // more; the command is never stopped). True the first time; the shell then hides its
    // controls and the window at once.
    bool runClosingSteps();

    [[nodiscard]] DOSOutputs* objDOS() const noexcept { return objDOS_; }
    [[nodiscard]] bool isClosing() const noexcept { return closing_; }
    [[nodiscard]] bool isRepairRunning() const noexcept { return sequence_.isRunning(); }

  private:
    void releaseRunner();

    FrmMainControls controls_;
    DOSOutputs* objDOS_ = nullptr;            // the runner the sequence uses; nullptr once released
    std::unique_ptr<DOSOutputs> ownedDos_;    // owns objDOS_ until released
    std::unique_ptr<DOSOutputs> retiredDos_;  // a released runner still reading
    bool closing_ = false;
    WindowRunListener runListener_;  // pumps the messages while a command runs
    DosCommandRunner runner_;
    SystemRedirection redirection_;
    RepairSequence sequence_;
};

}  // namespace talvrin
