// The command line that hands a line to the command interpreter, the same on every platform.
#include "platform/os/command_interpreter.h"

namespace talvrin::platform {

std::string interpreterCommandLine(std::string_view interpreter, std::string_view line) {
    if (interpreter.empty()) return std::string(line);
    std::string out;
    out.reserve(interpreter.size() + line.size() + 16);
    // The program's path is quoted, so a folder with spaces names it whole. A path cannot hold
    // a quote on Windows.
    out += '"';
    out += interpreter;
    out += "\" /d /s /c \"";
    out += line;
    out += '"';
    return out;
}

std::string throughCommandInterpreter(std::string_view line) {
    return interpreterCommandLine(commandInterpreter(), line);
}

}  // namespace talvrin::platform
