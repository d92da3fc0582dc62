// talvrin-image: the image library from the command line (tools/tool.cpp has the commands).
#include <cstdio>
#include <string>
#include <vector>

#include "image/codecs/ico_parser.h"
#include "platform/os/tool_io.h"
#include "tools/command.h"
#include "tools/console.h"

int main(int argc, char** argv) {
    using namespace talvrin;
    // An interrupted conversion leaves no temporary files behind, and a write past the file
    // size limit fails as on a full disk (a message, the temporary removed, status 1).
    platform::removeUnfinishedFilesOnInterrupt();
    platform::ignoreFileSizeLimitSignal();
    // Icon and cursor bytes that reach the platform's picture loader go to the icon decoder.
    installIconPictureRoute();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    tool::Console console(stdout, stderr, platform::standardErrorIsTerminal());
    const int status = tool::runTool(args, console);
    // Standard output that could not be written (a full disk, a closed pipe) is a failure.
    if (std::fflush(stdout) != 0 && status == 0) return 1;
    return status;
}
