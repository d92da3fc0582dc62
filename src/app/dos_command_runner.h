// The repair sequence's command runner, backed by a DOSOutputs that its owner may release at any
// time (the window does so when it closes).
#pragma once

#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"

namespace talvrin {

class DosCommandRunner final : public CommandRunner {
  public:
    explicit DosCommandRunner(DOSOutputs* const* runner) : runner_(runner) {}

    // Sets the runner's CommandLine, then executes it without an argument; the text is discarded.
    bool runCommand(const std::string& commandLine) override {
        DOSOutputs* dos = *runner_;
        if (!dos) return false;
        dos->setCommandLine(commandLine);
        dos->ExecuteCommand();
        return true;
    }

  private:
    DOSOutputs* const* runner_;  // the owner's current runner, nullptr once released
};

}  // namespace talvrin
