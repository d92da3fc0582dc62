#include "app/repair_sequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvrin {
namespace {

// "/files/" + name, with the platform's separator as the sequence builds it.
std::string files(const std::string& name) {
    return std::string(1, kPathSeparator) + "files" + kPathSeparator + name;
}

// The line with every "/files/" written with the platform's separator.
std::string separated(std::string line) {
    const std::string from = "/files/";
    const std::string to = files("");
    for (auto at = line.find(from); at != std::string::npos; at = line.find(from, at + to.size()))
        line.replace(at, from.size(), to);
    return line;
}

// Records everything the sequence does, in order, in one journal.
struct Journal {
    std::vector<std::string> events;
};

class FakeList final : public ProgressList {
  public:
    explicit FakeList(Journal& j) : j_(j) {}
    void clear() override {
        lines.clear();
        selected = -1;
        j_.events.push_back("clear");
    }
    void addLine(const std::string& text) override {
        lines.push_back(text);
        j_.events.push_back("add " + text);
    }
    int count() const override { return static_cast<int>(lines.size()); }
    void setSelectedIndex(int index) override {
        selected = index;
        j_.events.push_back("select " + std::to_string(index));
    }
    std::vector<std::string> lines;
    int selected = -1;

  private:
    Journal& j_;
};

class FakeSwitch final : public Switchable {
  public:
    FakeSwitch(Journal& j, std::string name, bool initial)
        : j_(j), name_(std::move(name)), enabled(initial) {}
    void setEnabled(bool on) override {
        enabled = on;
        j_.events.push_back(name_ + (on ? " on" : " off"));
    }

  private:
    Journal& j_;
    std::string name_;

  public:
    bool enabled;
};

class FakeBox final : public MessageBoxHost {
  public:
    explicit FakeBox(Journal& j) : j_(j) {}
    void showMessage(const std::string& text, const std::string& caption) override {
        shown.push_back(caption + "|" + text);
        j_.events.push_back("box");
    }
    std::vector<std::string> shown;

  private:
    Journal& j_;
};

class FakeRunner final : public CommandRunner {
  public:
    explicit FakeRunner(Journal& j) : j_(j) {}
    bool runCommand(const RepairCommand& command) override {
        const std::string& line = command.line;
        lines.push_back(line);
        throughInterpreter.push_back(command.route == CommandRoute::Interpreter);
        j_.events.push_back("run " + line);
        if (onRun) onRun(line);
        return true;
    }
    std::vector<std::string> lines;
    std::vector<bool> throughInterpreter;
    std::function<void(const std::string&)> onRun;

  private:
    Journal& j_;
};

class FakeRedirection final : public RedirectionSwitch {
  public:
    explicit FakeRedirection(Journal& j) : j_(j) {}
    void turnOff() override {
        ++offs;
        j_.events.push_back("redirection off");
    }
    void restore() override {
        ++restores;
        j_.events.push_back("redirection restored");
    }
    int offs = 0;
    int restores = 0;

  private:
    Journal& j_;
};

struct Fixture {
    Journal journal;
    FakeList list{journal};
    FakeSwitch closeButton{journal, "close", true};
    FakeSwitch startButton{journal, "start", true};
    FakeSwitch timer{journal, "timer", true};  // "Start" has enabled it
    FakeBox box{journal};
    FakeRunner runner{journal};
    std::string folder = "/opt/talvrin/bin";
    int quoteReads = 0;
    int folderReads = 0;
    int pumps = 0;
    bool closing = false;
    std::function<void()> onPump;

    RepairHost host() {
        RepairHost h;
        h.list = &list;
        h.closeButton = &closeButton;
        h.startButton = &startButton;
        h.timer = &timer;
        h.messageBox = &box;
        h.runner = &runner;
        h.quoteText = [this] {
            ++quoteReads;
            return std::string("\"");
        };
        h.programFolder = [this] {
            ++folderReads;
            return folder;
        };
        h.pumpMessages = [this] {
            ++pumps;
            if (onPump) onPump();
        };
        h.isClosing = [this] { return closing; };
        return h;
    }
};

const std::vector<std::string> kExpectedLines = {
    "Starting Repair, Please Wait...",
    "Step 01/10 - Stopping Firewall...",
    "Step 02/10 - Settings Firewall Service To Automatic...",
    "Step 03/10 - Setting Reg Permissions For Firewall Service...",
    "Step 04/10 - Setting Firewall Reg Settings...",
    "Step 05/10 - Stopping WMI...",
    "Step 06/10 - Deleting WMI Repository...",
    "Step 07/10 - Starting WMI...",
    "Step 08/10 - Rebuilding WMI Repository...",
    "Step 09/10 - Reregistering WMI DLL's...",
    "Step 10/10 - Reregistering WMI EXE's...",
    "DONE! PLEASE REBOOT!",
};

std::vector<std::string> expectedCommands(const std::string& p) {
    const std::string q = "\"";
    return {
        "net stop MpsSvc /y",
        "net stop SharedAccess /y",
        "sc config MpsSvc start= auto",
        "sc config SharedAccess start= auto",
        q + p + files("regini.exe") + q + " " + q + p + files("firewall_reg_permissions.txt") + q,
        "REGEDIT /S " + q + p + files("firewall_settings.reg") + q,
        "net stop winmgmt /y",
        "del %windir%\\System32\\Wbem\\Repository\\*.* /f /s /q",
        "del %windir%\\sysWOW64\\Wbem\\Repository\\*.* /f /s /q",
        "net start winmgmt /y",
        "IF EXIST %windir%\\system32\\wbem\\wbemupgd.dll rundll32 wbemupgd, UpgradeRepository",
        "winmgmt  /salvagerepository",
        q + p + files("reg_wmi_dlls.bat") + q,
        q + p + files("reg_wmi_exes.bat") + q,
    };
}

TEST(RepairSequence, CompletedRunListsTwelveLinesRunsEveryCommandAndEndsIdle) {
    Fixture f;
    f.list.lines = {"a line from the previous run"};
    RepairSequence seq(f.host());
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Completed);

    EXPECT_EQ(f.list.lines, kExpectedLines);
    EXPECT_EQ(f.list.selected, 11);
    EXPECT_EQ(f.runner.lines, expectedCommands(f.folder));
    // Only the lines of the interpreter's own commands go to it: step 6's two "del" lines and
    // step 8's "IF EXIST"; every other line, the batch files included, names its program.
    const std::vector<bool> interpreter = {false, false, false, false, false, false, false,
                                           true,  true,  false, true,  false, false, false};
    EXPECT_EQ(f.runner.throughInterpreter, interpreter);
    EXPECT_TRUE(f.closeButton.enabled);
    EXPECT_TRUE(f.startButton.enabled);
    EXPECT_FALSE(f.timer.enabled);
    ASSERT_EQ(f.box.shown.size(), 1u);
    EXPECT_EQ(f.box.shown[0],
              "Talvrin|All done!, You must restart your computer for the changes to take effect!");
    EXPECT_FALSE(seq.isRunning());
}

TEST(RepairSequence, ActionsHappenInTheirOrder) {
    Fixture f;
    RepairSequence seq(f.host());
    seq.onTick();
    const auto& e = f.journal.events;
    ASSERT_GE(e.size(), 6u);
    // Close is disabled before Start, then the list is cleared; the first line is not selected.
    EXPECT_EQ(e[0], "close off");
    EXPECT_EQ(e[1], "start off");
    EXPECT_EQ(e[2], "clear");
    EXPECT_EQ(e[3], "add Starting Repair, Please Wait...");
    EXPECT_EQ(e[4], "add Step 01/10 - Stopping Firewall...");
    EXPECT_EQ(e[5], "select 1");
    // The end: Start is enabled before Close, then the timer stops, then the box.
    const std::vector<std::string> tail(e.end() - 6, e.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"add DONE! PLEASE REBOOT!", "select 11", "start on",
                                              "close on", "timer off", "box"}));
    // Every step title is selected right after it is added, before its commands run.
    for (size_t i = 0; i + 1 < e.size(); ++i) {
        if (e[i].rfind("add Step", 0) == 0) {
            EXPECT_EQ(e[i + 1].rfind("select", 0), 0u) << e[i];
        }
    }
}

TEST(RepairSequence, RedirectionIsOffForTheWholeRunAndRestoredAlsoWhenAbandoned) {
    Fixture f;
    FakeRedirection redirection(f.journal);
    RepairHost h = f.host();
    h.redirection = &redirection;
    RepairSequence seq(h);
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Completed);
    const auto& e = f.journal.events;
    ASSERT_GE(e.size(), 7u);
    EXPECT_EQ(e.front(), "redirection off");  // before the buttons, so before every command
    // Restored after the last line is selected, before the buttons come back.
    const std::vector<std::string> tail(e.end() - 7, e.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"add DONE! PLEASE REBOOT!", "select 11",
                                              "redirection restored", "start on", "close on",
                                              "timer off", "box"}));
    EXPECT_EQ(redirection.offs, 1);
    EXPECT_EQ(redirection.restores, 1);

    Fixture g;
    FakeRedirection abandoned(g.journal);
    RepairHost closingHost = g.host();
    closingHost.redirection = &abandoned;
    g.runner.onRun = [&g](const std::string&) {
        if (g.runner.lines.size() == 3) g.closing = true;
    };
    RepairSequence closingSeq(closingHost);
    EXPECT_EQ(closingSeq.onTick(), RepairSequence::TickResult::Abandoned);
    EXPECT_EQ(abandoned.restores, 1);
    EXPECT_EQ(g.journal.events.back(), "redirection restored");
}

TEST(RepairSequence, QuoteAndFolderAreReadAfreshForEveryUse) {
    Fixture f;
    int calls = 0;
    RepairHost h = f.host();
    // A folder that changes between reads shows whether each path reads it again.
    h.programFolder = [&calls] { return "/dir" + std::to_string(++calls); };
    RepairSequence seq(h);
    seq.onTick();
    const auto& l = f.runner.lines;
    ASSERT_EQ(l.size(), 14u);
    EXPECT_EQ(l[4],
              separated("\"/dir1/files/regini.exe\" \"/dir2/files/firewall_reg_permissions.txt\""));
    EXPECT_EQ(l[5], separated("REGEDIT /S \"/dir3/files/firewall_settings.reg\""));
    EXPECT_EQ(l[12], separated("\"/dir4/files/reg_wmi_dlls.bat\""));
    EXPECT_EQ(l[13], separated("\"/dir5/files/reg_wmi_exes.bat\""));
    // Two quote reads for every quoted path: five paths.
    EXPECT_EQ(f.quoteReads, 10);
}

TEST(RepairSequence, FolderWithSpacesAndTheRootArePassedOnAsBuilt) {
    {
        Fixture f;
        f.folder = "/home/a user/Talvrin App";
        RepairSequence seq(f.host());
        seq.onTick();
        EXPECT_EQ(f.runner.lines, expectedCommands(f.folder));
        EXPECT_EQ(f.runner.lines[12],
                  separated("\"/home/a user/Talvrin App/files/reg_wmi_dlls.bat\""));
    }
    {
        Fixture f;
        f.folder = "/";
        RepairSequence seq(f.host());
        seq.onTick();
        // The root already ends in a separator: two in a row, passed on unchanged.
        EXPECT_EQ(f.runner.lines[5], separated("REGEDIT /S \"//files/firewall_settings.reg\""));
        EXPECT_EQ(f.runner.lines[13], separated("\"//files/reg_wmi_exes.bat\""));
    }
}

TEST(RepairSequence, TickArrivingDuringARunDoesNotStartASecondRun) {
    Fixture f;
    RepairSequence* seqPtr = nullptr;
    std::vector<RepairSequence::TickResult> nested;
    f.onPump = [&] { nested.push_back(seqPtr->onTick()); };
    RepairSequence seq(f.host());
    seqPtr = &seq;
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Completed);
    ASSERT_FALSE(nested.empty());
    for (auto r : nested)
        EXPECT_EQ(r, RepairSequence::TickResult::Ignored);
    EXPECT_EQ(f.runner.lines.size(), 14u);
    EXPECT_EQ(f.list.lines.size(), 12u);
    EXPECT_EQ(f.box.shown.size(), 1u);
    // After the run, a new tick runs the whole sequence again from a cleared list.
    f.onPump = nullptr;
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Completed);
    EXPECT_EQ(f.list.lines, kExpectedLines);
    EXPECT_EQ(f.runner.lines.size(), 28u);
}

TEST(RepairSequence, ClosingMidRunStartsNoFurtherCommandAndShowsNoBox) {
    Fixture f;
    // The window closes while the third command's output is being read.
    f.runner.onRun = [&](const std::string&) {
        if (f.runner.lines.size() == 3) f.closing = true;
    };
    RepairSequence seq(f.host());
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Abandoned);
    EXPECT_EQ(f.runner.lines.size(), 3u);
    EXPECT_TRUE(f.box.shown.empty());
    EXPECT_NE(f.list.lines.back(), "DONE! PLEASE REBOOT!");
    EXPECT_FALSE(seq.isRunning());
    // A tick after the close does nothing at all.
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Abandoned);
    EXPECT_EQ(f.runner.lines.size(), 3u);
}

TEST(RepairSequence, MissingRunnerStillCompletesTheSequence) {
    Fixture f;
    RepairHost h = f.host();
    h.runner = nullptr;  // every command fails to start: the sequence goes on
    RepairSequence seq(h);
    EXPECT_EQ(seq.onTick(), RepairSequence::TickResult::Completed);
    EXPECT_EQ(f.list.lines, kExpectedLines);
    EXPECT_EQ(f.box.shown.size(), 1u);
}

TEST(RepairSequence, StepTableHasTenStepsWithOneOrTwoCommandsEach) {
    Fixture f;
    const RepairHost h = f.host();
    size_t total = 0;
    for (const auto& step : repairSteps()) {
        const auto lines = step.commandLines(h);
        EXPECT_GE(lines.size(), 1u);
        EXPECT_LE(lines.size(), 2u);
        total += lines.size();
    }
    EXPECT_EQ(total, 14u);
}

}  // namespace
}  // namespace talvrin
