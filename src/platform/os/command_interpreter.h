// The system's command interpreter, for the command lines that only it understands (its built-in
// commands such as "del", its IF, its %variables%).
#pragma once

#include <string>
#include <string_view>

namespace talvrin::platform {

// The interpreter's program as a path (UTF-8): on Windows the program the ComSpec environment
// variable names, else cmd.exe in the system folder. Empty where the platform has none that
// takes such lines (POSIX).
[[nodiscard]] std::string commandInterpreter();

// The command line that has `interpreter` run `line` and end:
//   "<interpreter>" /d /s /c "<line>"
// /d leaves out the interpreter's AutoRun commands, /c runs the line and ends, and /s makes it
// take everything between the first and the last quote of the rest as the line, unchanged, so the
// line keeps its own quotes. An empty interpreter gives the line unchanged.
[[nodiscard]] std::string interpreterCommandLine(std::string_view interpreter,
                                                 std::string_view line);

// interpreterCommandLine(commandInterpreter(), line): the line as this system's interpreter runs
// it, or unchanged where there is none.
[[nodiscard]] std::string throughCommandInterpreter(std::string_view line);

}  // namespace talvrin::platform
