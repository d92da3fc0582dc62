#include "app/repair_sequence.h"

namespace talvrin {

namespace {

std::string quote(const RepairHost& h) {
    return h.quoteText ? h.quoteText() : std::string{};
}

// P + separator + "files" + separator + name. P is read afresh; a folder at the root of the file
// system already ends in a separator, and the doubled separator is passed on as built.
std::string supportFile(const RepairHost& h, std::string_view name) {
    std::string path = h.programFolder ? h.programFolder() : std::string{};
    path += kPathSeparator;
    path += "files";
    path += kPathSeparator;
    path += name;
    return path;
}

// Q + path + Q, with Q read afresh before and after the path.
std::string quoted(const RepairHost& h, std::string_view name) {
    std::string line = quote(h);
    line += supportFile(h, name);
    line += quote(h);
    return line;
}

std::vector<RepairCommand> step1(const RepairHost&) {
    return {{"net stop MpsSvc /y"}, {"net stop SharedAccess /y"}};
}
std::vector<RepairCommand> step2(const RepairHost&) {
    return {{"sc config MpsSvc start= auto"}, {"sc config SharedAccess start= auto"}};
}
std::vector<RepairCommand> step3(const RepairHost& h) {
    // Built left to right: the tool's path first, then its input's.
    std::string line = quoted(h, "regini.exe");
    line += ' ';
    line += quoted(h, "firewall_reg_permissions.txt");
    return {{line}};
}
std::vector<RepairCommand> step4(const RepairHost& h) {
    return {{"REGEDIT /S " + quoted(h, "firewall_settings.reg")}};
}
std::vector<RepairCommand> step5(const RepairHost&) {
    return {{"net stop winmgmt /y"}};
}
std::vector<RepairCommand> step6(const RepairHost&) {
    // "del" is built into the interpreter, which also expands %windir%.
    constexpr CommandRoute kInterpreter = CommandRoute::Interpreter;
    return {{R"(del %windir%\System32\Wbem\Repository\*.* /f /s /q)", kInterpreter},
            {R"(del %windir%\sysWOW64\Wbem\Repository\*.* /f /s /q)", kInterpreter}};
}
std::vector<RepairCommand> step7(const RepairHost&) {
    return {{"net start winmgmt /y"}};
}
std::vector<RepairCommand> step8(const RepairHost&) {
    // IF EXIST is the interpreter's; the second line names a program.
    return {{R"(IF EXIST %windir%\system32\wbem\wbemupgd.dll rundll32 wbemupgd, UpgradeRepository)",
             CommandRoute::Interpreter},
            {"winmgmt  /salvagerepository"}};
}
std::vector<RepairCommand> step9(const RepairHost& h) {
    return {{quoted(h, "reg_wmi_dlls.bat")}};
}
std::vector<RepairCommand> step10(const RepairHost& h) {
    return {{quoted(h, "reg_wmi_exes.bat")}};
}

}  // namespace

const std::array<RepairStep, 10>& repairSteps() {
    static const std::array<RepairStep, 10> steps{{
        {"Step 01/10 - Stopping Firewall...", step1},
        {"Step 02/10 - Settings Firewall Service To Automatic...", step2},
        {"Step 03/10 - Setting Reg Permissions For Firewall Service...", step3},
        {"Step 04/10 - Setting Firewall Reg Settings...", step4},
        {"Step 05/10 - Stopping WMI...", step5},
        {"Step 06/10 - Deleting WMI Repository...", step6},
        {"Step 07/10 - Starting WMI...", step7},
        {"Step 08/10 - Rebuilding WMI Repository...", step8},
        {"Step 09/10 - Reregistering WMI DLL's...", step9},
        {"Step 10/10 - Reregistering WMI EXE's...", step10},
    }};
    return steps;
}

bool RepairSequence::pumpAndCheckClosing() {
    if (host_.pumpMessages) host_.pumpMessages();
    return host_.isClosing && host_.isClosing();
}

void RepairSequence::addLine(std::string_view text, bool select) {
    if (!host_.list) return;
    host_.list->addLine(std::string(text));
    if (select) host_.list->setSelectedIndex(host_.list->count() - 1);
}

RepairSequence::TickResult RepairSequence::onTick() {
    // Ticks keep arriving through the message pumping while a run is in progress.
    if (running_) return TickResult::Ignored;
    if (host_.isClosing && host_.isClosing()) return TickResult::Abandoned;
    running_ = true;
    // Redirection turned off is restored however the run ends, also when it is abandoned.
    struct Reset {
        bool& flag;
        RedirectionSwitch* redirection;
        bool restored = false;
        void restore() {
            if (!restored && redirection) redirection->restore();
            restored = true;
        }
        ~Reset() {
            restore();
            flag = false;
        }
    } reset{running_, host_.redirection};

    if (host_.redirection) host_.redirection->turnOff();
    if (host_.closeButton) host_.closeButton->setEnabled(false);
    if (host_.startButton) host_.startButton->setEnabled(false);
    if (host_.list) host_.list->clear();
    addLine(kStartingLine, false);
    if (pumpAndCheckClosing()) return TickResult::Abandoned;

    for (const RepairStep& step : repairSteps()) {
        addLine(step.title, true);
        if (pumpAndCheckClosing()) return TickResult::Abandoned;
        for (const RepairCommand& command : step.commandLines(host_)) {
            if (host_.runner) host_.runner->runCommand(command);
            if (pumpAndCheckClosing()) return TickResult::Abandoned;
        }
    }

    addLine(kDoneLine, true);
    if (pumpAndCheckClosing()) return TickResult::Abandoned;
    reset.restore();
    if (pumpAndCheckClosing()) return TickResult::Abandoned;
    if (host_.startButton) host_.startButton->setEnabled(true);
    if (host_.closeButton) host_.closeButton->setEnabled(true);
    if (pumpAndCheckClosing()) return TickResult::Abandoned;
    if (host_.timer) host_.timer->setEnabled(false);
    if (host_.messageBox)
        host_.messageBox->showMessage(std::string(kDoneMessage), std::string(kApplicationTitle));
    return TickResult::Completed;
}

}  // namespace talvrin
