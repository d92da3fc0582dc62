// regini.exe, the registry permission tool the firewall repair's third step runs. Its arguments
// arrive as UTF-16 (wmain), so that a program folder with any name reaches it whole.
#include <string>
#include <vector>

#include "app/regini/regini_program.h"
#include "platform/os/files.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(talvrin::platform::utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    return talvrin::regini::runRegini(args, talvrin::platform::setMachineKeyAccess, stderr);
}
