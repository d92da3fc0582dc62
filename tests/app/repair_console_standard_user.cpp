// talvrin-repair as a process without an administrator's rights sees it: the program's own main
// routine with the token check answering "missing".
#include "app/repair_console.h"

int main(int argc, char** argv) {
    return talvrin::repairConsoleMain(
        argc, argv, [] { return talvrin::platform::AdministratorRights::Missing; });
}
