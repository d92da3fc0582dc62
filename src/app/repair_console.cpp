// talvrin-repair: the repair sequence without a window. Prints each progress line as it is added
// and, with --verbose, each command's output indented beneath its step (or why it did not start).
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/dos_command_runner.h"
#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"
#include "app/system_redirection.h"
#include "platform/os/program_folder.h"

namespace talvrin {
namespace {

class ConsoleList final : public ProgressList {
  public:
    void clear() override { lines_ = 0; }
    void addLine(const std::string& text) override {
        ++lines_;
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    int count() const override { return lines_; }
    void setSelectedIndex(int) override {}

  private:
    int lines_ = 0;
};

class NoSwitch final : public Switchable {
  public:
    void setEnabled(bool) override {}
};

class ConsoleMessage final : public MessageBoxHost {
  public:
    void showMessage(const std::string& text, const std::string& caption) override {
        std::printf("%s: %s\n", caption.c_str(), text.c_str());
    }
};

// Prints a command and its output, each output line indented beneath it.
class VerboseRunner final : public CommandRunner {
  public:
    VerboseRunner(DOSOutputs& dos, bool verbose) : dos_(dos), inner_(&ptr_), verbose_(verbose) {
        ptr_ = &dos_;
        if (verbose_)
            dos_.setReceiveOutputsHandler([this](const std::string& chunk) { print(chunk); });
    }
    bool runCommand(const std::string& commandLine) override {
        if (verbose_) std::printf("    $ %s\n", commandLine.c_str());
        const bool ran = inner_.runCommand(commandLine);
        if (verbose_) {
            flushLine();
            if (!dos_.startFailure().empty()) {
                std::printf("      (could not start: %s)\n", dos_.startFailure().c_str());
                std::fflush(stdout);
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
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }
    // Ends an unfinished last line.
    void flushLine() {
        if (atLineStart_) return;
        std::fputc('\n', stdout);
        std::fflush(stdout);
        atLineStart_ = true;
    }

    DOSOutputs& dos_;
    DOSOutputs* ptr_ = nullptr;
    DosCommandRunner inner_;
    bool verbose_;
    bool atLineStart_ = true;
};

int usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: talvrin-repair [--verbose]\n"
                 "Runs the ten repair steps without a window and prints each step as it starts.\n"
                 "  --verbose, -v   also print every command and its captured output, or why it\n"
                 "                  could not start\n"
                 "  --help, -h      print this help and exit\n"
                 "  --version       print the version and exit\n"
                 "Exit status 0 when the sequence ran to its end, 1 when it did not complete,\n"
                 "2 for a usage error.\n");
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
}  // namespace talvrin

int main(int argc, char** argv) {
    using namespace talvrin;
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
            return 0;
        } else {
            std::fprintf(stderr, "talvrin-repair: unknown argument '%s'\n", argv[i]);
            return usage(stderr);
        }
    }

    warnWhenSupportFilesAreMissing();
    DOSOutputs dos;
    VerboseRunner runner(dos, verbose);
    ConsoleList list;
    NoSwitch closeButton, startButton, timer;
    ConsoleMessage box;
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
    return result == RepairSequence::TickResult::Completed ? 0 : 1;
}
