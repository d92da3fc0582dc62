// talvrin-repair: the console face of the repair sequence (repair_console.h).
#include "app/repair_console.h"

int main(int argc, char** argv) {
    return talvrin::repairConsoleMain(argc, argv, talvrin::platform::administratorRights);
}
