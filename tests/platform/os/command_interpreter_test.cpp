// The command lines that hand a line to the system's command interpreter.
#include "platform/os/command_interpreter.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

namespace talvrin::platform {
namespace {

TEST(CommandInterpreter, LineGoesWholeBetweenTheOuterQuotesAfterTheQuotedProgram) {
    struct Case {
        const char* interpreter;
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {R"(C:\Windows\system32\cmd.exe)", R"(del %windir%\System32\Wbem\Repository\*.* /f /s /q)",
         R"("C:\Windows\system32\cmd.exe" /d /s /c "del %windir%\System32\Wbem\Repository\*.* /f /s /q")"},
        // The line's own quotes stay as they are: /s takes what lies between the outer two.
        {R"(C:\Program Files\Shell\cmd.exe)", R"(IF EXIST "a b.dll" rundll32 "a b", Run)",
         R"("C:\Program Files\Shell\cmd.exe" /d /s /c "IF EXIST "a b.dll" rundll32 "a b", Run")"},
        {"cmd.exe", "", R"("cmd.exe" /d /s /c "")"},
        // No interpreter: the line as it stands.
        {"", "del x /q", "del x /q"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interpreterCommandLine(c.interpreter, c.line), c.expected) << c.line;
}

#ifdef _WIN32
TEST(CommandInterpreter, ComSpecNamesTheInterpreterElseCmdInTheSystemFolder) {
    char saved[MAX_PATH] = {};
    const DWORD had = GetEnvironmentVariableA("ComSpec", saved, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableA("ComSpec", "D:\\Tools\\my shell.exe"));
    EXPECT_EQ(commandInterpreter(), "D:\\Tools\\my shell.exe");
    ASSERT_TRUE(SetEnvironmentVariableA("ComSpec", nullptr));
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(commandInterpreter(), std::string(system) + "\\cmd.exe");
    SetEnvironmentVariableA("ComSpec", had > 0 ? saved : nullptr);
}
#else
TEST(CommandInterpreter, PosixHasNoneAndRunsTheLineAsItStands) {
    EXPECT_EQ(commandInterpreter(), "");
    EXPECT_EQ(throughCommandInterpreter("del %windir%\\x /q"), "del %windir%\\x /q");
}
#endif

}  // namespace
}  // namespace talvrin::platform
