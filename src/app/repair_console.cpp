// talvrin-repair: the repair sequence without a window. Prints each progress line as it is added
// and, with --verbose, each command's output indented beneath its step (or why it did not start)
// and its exit code.
#include "app/repair_console.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/dos_command_runner.h"
#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"
#include "app/system_redirection.h"
#include "platform/os/program_folder.h"

namespace talvrin {
namespace {

// How long --verbose waits, after a command's output ended, for the command to exit.
constexpr std::chrono::seconds kExitWait{10};

// Standard output, written as it comes. A write that fails (a reader that has gone, a full disk)
// does not stop the run: the commands still run to their end, and the failure is remembered for
// the exit status.
class ConsoleOutput {
  public:
    void write(std::string_view text) {
        if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            fail();
        if (std::fflush(stdout) != 0) fail();
    }
    void line(std::string_view text) {
        std::string out(text);
        out += '\n';
        write(out);
    }
    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] int error() const { return error_; }

  private:
    void fail() {
        if (!failed_) error_ = errno;
        failed_ = true;
        std::clearerr(stdout);
    }
    bool failed_ = false;
    int error_ = 0;
};

class ConsoleList final : public ProgressList {
  public:
    explicit ConsoleList(ConsoleOutput& out) : out_(out) {}
    void clear() override { lines_ = 0; }
    void addLine(const std::string& text) override {
        ++lines_;
        out_.line(text);
    }
    int count() const override { return lines_; }
    void setSelectedIndex(int) override {}

  private:
    ConsoleOutput& out_;
    int lines_ = 0;
};

class NoSwitch final : public Switchable {
  public:
    void setEnabled(bool) override {}
};

class ConsoleMessage final : public MessageBoxHost {
  public:
    explicit ConsoleMessage(ConsoleOutput& out) : out_(out) {}
    void showMessage(const std::string& text, const std::string& caption) override {
        out_.line(caption + ": " + text);
    }

  private:
    ConsoleOutput& out_;
};

// An exit code as people look it up: decimal, or the 32-bit value in hexadecimal for the large
// ones (Windows' status codes, such as 0xC0000135).
std::string exitCodeText(int code) {
    if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    return hex;
}

// Prints a command and its output, each output line indented beneath it, then its exit code.
class VerboseRunner final : public CommandRunner {
  public:
    VerboseRunner(DOSOutputs& dos, ConsoleOutput& out, bool verbose)
        : dos_(dos), out_(out), inner_(&ptr_), verbose_(verbose) {
        ptr_ = &dos_;
        if (verbose_) {
            dos_.setReceiveOutputsHandler([this](const std::string& chunk) { print(chunk); });
            dos_.setExitWait(kExitWait);
        }
    }
    bool runCommand(const RepairCommand& command) override {
        if (verbose_) out_.line("    $ " + command.line);
        const bool ran = inner_.runCommand(command);
        if (verbose_) {
            flushLine();
            if (!dos_.startFailure().empty()) {
                out_.line("      (could not start: " + dos_.startFailure() + ")");
            } else if (const auto code = dos_.ExitCode()) {
                out_.line("      (exit code " + exitCodeText(*code) + ")");
            } else {
                out_.line("      (still running " + std::to_string(kExitWait.count()) +
                          " s after its output ended)");
            }
        }
        return ran;
    }

  private:
    // Writes each chunk as it comes, so a line without end is never held back whole: the indent
    // goes out before a line's first character, carriage returns are dropped.
    void print(const std::string& chunk) {
        std::string out;
        out.reserve(chunk.size() + 16);
        for (char c : chunk) {
            if (c == '\r') continue;
            if (atLineStart_ && c != '\n') out += "      ";
            if (c == '\n' && atLineStart_) continue;  // blank lines stay out, as before
            out += c;
            atLineStart_ = c == '\n';
        }
        out_.write(out);
    }
    // Ends an unfinished last line.
    void flushLine() {
        if (atLineStart_) return;
        out_.write("\n");
        atLineStart_ = true;
    }

    DOSOutputs& dos_;
    ConsoleOutput& out_;
    DOSOutputs* ptr_ = nullptr;
    DosCommandRunner inner_;
    bool verbose_;
    bool atLineStart_ = true;
};

int usage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: talvrin-repair [--verbose]\n"
        "Runs the ten repair steps without a window and prints each step as it starts.\n"
        "  --verbose, -v   also print every command, its captured output and its exit\n"
        "                  code, or why it could not start\n"
        "  --help, -h      print this help and exit\n"
        "  --version       print the version and exit\n"
        "Exit status 0 when the sequence ran to its end, 1 when it did not complete, when\n"
        "its output could not be written or without an administrator's rights, 2 for a\n"
        "usage error.\n");
    return out == stdout ? 0 : 2;
}

// The support files of steps 3, 4, 9 and 10 lie in <program folder>/files; without them those
// steps fail to start. Said once, before the run, so that a copied program is not silently
// incomplete; the run goes on as it always does.
void warnWhenSupportFilesAreMissing() {
    const std::string folder = platform::programFolder();
    if (platform::holdsSupportFiles(folder)) return;
    std::fprintf(stderr,
                 "talvrin-repair: warning: the support-file folder %s%cfiles does not exist; "
                 "steps 3, 4, 9 and 10 will fail\n",
                 folder.c_str(), kPathSeparator);
}

}  // namespace

int repairConsoleMain(int argc, char** argv, const AdministratorCheck& administratorRights) {
    // A reader that goes away (talvrin-repair | head) must not end the run half-way: a stopped
    // service would stay stopped. Writes to it fail instead, and the run goes on.
    platform::ignoreBrokenPipes();
    // Command output is decoded from the user's narrow encoding.
    std::setlocale(LC_ALL, "");
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0 || std::strcmp(argv[i], "-v") == 0) {
            verbose = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return usage(stdout);
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("talvrin-repair %s\n", TALVRIN_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else {
            std::fprintf(stderr, "talvrin-repair: unknown argument '%s'\n", argv[i]);
            return usage(stderr);
        }
    }

    // Every command needs an administrator (services, HKLM, the system folder). The program's
    // manifest asks for one; a process that still lacks the rights (a standard user where UAC is
    // off) runs nothing rather than fail fourteen commands and report the repair done.
    if (administratorRights && administratorRights() == platform::AdministratorRights::Missing) {
        std::fprintf(stderr,
                     "talvrin-repair: the repair needs an administrator's rights; nothing was "
                     "run.\nStart it from a command prompt opened with \"Run as "
                     "administrator\", or log on as an administrator.\n");
        return 1;
    }

    warnWhenSupportFilesAreMissing();
    ConsoleOutput out;
    DOSOutputs dos;
    VerboseRunner runner(dos, out, verbose);
    ConsoleList list(out);
    NoSwitch closeButton, startButton, timer;
    ConsoleMessage box(out);
    RepairHost host;
    host.list = &list;
    host.closeButton = &closeButton;
    host.startButton = &startButton;
    host.timer = &timer;
    host.messageBox = &box;
    host.runner = &runner;
    SystemRedirection redirection;
    host.redirection = &redirection;
    host.quoteText = [] { return std::string("\""); };
    host.programFolder = [] { return platform::programFolder(); };
    RepairSequence sequence(host);

    // "Start" enables the timer; its first tick runs the sequence.
    timer.setEnabled(true);
    const auto result = sequence.onTick();
    if (out.failed()) {
        std::fprintf(stderr, "talvrin-repair: could not write the output: %s\n",
                     std::strerror(out.error()));
        return 1;
    }
    return result == RepairSequence::TickResult::Completed ? 0 : 1;
}

}  // namespace talvrin
