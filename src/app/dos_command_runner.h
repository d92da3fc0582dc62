// The repair sequence's command runner, backed by a DOSOutputs that its owner may release at any
// time (the window does so when it closes).
#pragma once

#include "app/repair_sequence.h"
#include "app/runner/dos_outputs.h"
#include "platform/os/command_interpreter.h"

namespace talvrin {

class DosCommandRunner final : public CommandRunner {
  public:
    explicit DosCommandRunner(DOSOutputs* const* runner) : runner_(runner) {}

    // Sets the runner's CommandLine, then executes it without an argument; the text is discarded.
    // A line of the command interpreter's goes to it (where the system has one that takes it).
    bool runCommand(const RepairCommand& command) override {
        DOSOutputs* dos = *runner_;
        if (!dos) return false;
        dos->setCommandLine(command.route == CommandRoute::Interpreter
                                ? platform::throughCommandInterpreter(command.line)
                                : command.line);
        dos->ExecuteCommand();
        return true;
    }

  private:
    DOSOutputs* const* runner_;  // the owner's current runner, nullptr once released
};

}  // namespace talvrin
