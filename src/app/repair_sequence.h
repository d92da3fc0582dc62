// The repair sequence: ten fixed steps, each listed in the progress list and run as one or two
// command lines through the command runner, driven by the window's timer. Qt-free: the window
// and the console front end implement the small interfaces below.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin {

// The progress list (the window's List1).
class ProgressList {
  public:
    virtual ~ProgressList() = default;
    virtual void clear() = 0;
    virtual void addLine(const std::string& text) = 0;
    [[nodiscard]] virtual int count() const = 0;
    virtual void setSelectedIndex(int index) = 0;
};

// Anything that can be enabled and disabled: the two buttons and the timer.
class Switchable {
  public:
    virtual ~Switchable() = default;
    virtual void setEnabled(bool enabled) = 0;
};

// The final message box: text, a single OK button, no icon, the given caption.
class MessageBoxHost {
  public:
    virtual ~MessageBoxHost() = default;
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
};

// How a line of the step table is started. Most lines name a program and go to process creation
// as they stand; a few are the command interpreter's own (its built-in commands, its IF, its
// %variables%) and mean something only to the interpreter. The table says which, as data.
enum class CommandRoute {
    Direct,       // the whole line goes to process creation unchanged
    Interpreter,  // the line goes to the system's command interpreter (where there is one)
};

// One command line of a step and how it is started.
struct RepairCommand {
    std::string line;
    CommandRoute route = CommandRoute::Direct;
};

// Runs one command line to the end of its output. Answers false when no runner is available
// any more (the window released it); the sequence does not look at a command's outcome.
class CommandRunner {
  public:
    virtual ~CommandRunner() = default;
    virtual bool runCommand(const RepairCommand& command) = 0;
};

// The file-system redirection of the run's thread: turned off before the first action and
// restored at the end (on Windows, where a 32-bit process's system folder is redirected).
class RedirectionSwitch {
  public:
    virtual ~RedirectionSwitch() = default;
    virtual void turnOff() = 0;
    virtual void restore() = 0;
};

// Everything the sequence touches. The text sources and the pump are read at the moment they
// are needed, never cached: the quote character and the program folder are read afresh for
// every command line built with them.
struct RepairHost {
    ProgressList* list = nullptr;
    Switchable* closeButton = nullptr;  // Command1, "Close"
    Switchable* startButton = nullptr;  // Command2, "Start"
    Switchable* timer = nullptr;        // Timer1
    MessageBoxHost* messageBox = nullptr;
    CommandRunner* runner = nullptr;
    RedirectionSwitch* redirection = nullptr;    // none: nothing to turn off
    std::function<std::string()> quoteText;      // the text of Text2: one double quote
    std::function<std::string()> programFolder;  // folder of the executable, no trailing separator
    std::function<void()> pumpMessages;          // process pending window messages once
    std::function<bool()> isClosing;             // the window is closing: abandon the run
};

// One step of the table: its title and a builder for its command lines.
struct RepairStep {
    std::string_view title;
    std::vector<RepairCommand> (*commandLines)(const RepairHost& host);
};

inline constexpr std::string_view kStartingLine = "Starting Repair, Please Wait...";
inline constexpr std::string_view kDoneLine = "DONE! PLEASE REBOOT!";
inline constexpr std::string_view kDoneMessage =
    "All done!, You must restart your computer for the changes to take effect!";
inline constexpr std::string_view kApplicationTitle = "Talvrin";

// The path separator placed between the program folder and "files".
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The ten steps, in order.
const std::array<RepairStep, 10>& repairSteps();

class RepairSequence {
  public:
    enum class TickResult {
        Completed,  // all ten steps ran, the box was shown
        Ignored,    // a run was already in progress: no nested run
        Abandoned,  // the window closed during the run: no further command, no box
    };

    explicit RepairSequence(RepairHost host) : host_(std::move(host)) {}

    // The timer's tick: runs the whole sequence synchronously, pumping messages between actions.
    TickResult onTick();

    [[nodiscard]] bool isRunning() const { return running_; }

  private:
    // Pumps once; answers true when the run must stop because the window is closing.
    bool pumpAndCheckClosing();
    void addLine(std::string_view text, bool select);

    RepairHost host_;
    bool running_ = false;
};

}  // namespace talvrin
