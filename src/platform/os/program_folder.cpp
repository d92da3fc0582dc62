// The program's folder: the executable's own when its support files lie beside it, else the
// installed program's data folder. The executable's folder itself comes from the platform's
// source (program_folder_posix.cpp, program_folder_win32.cpp).
#include "platform/os/program_folder.h"

#include <filesystem>
#include <system_error>

// The build sets this from its install layout; a program in <prefix>/bin finds its data in
// <prefix>/share/talvrin.
#ifndef TALVRIN_INSTALLED_PROGRAM_FOLDER
#define TALVRIN_INSTALLED_PROGRAM_FOLDER "../share/talvrin"
#endif

namespace talvrin::platform {

namespace {

// A normalised path without a trailing separator, except for the root.
std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

}  // namespace

const char* const kInstalledProgramFolder = TALVRIN_INSTALLED_PROGRAM_FOLDER;

bool holdsSupportFiles(const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(folder) / "files", ec);
}

std::string programFolderFor(const std::string& executableFolder) {
    if (executableFolder.empty()) return {};
    const std::filesystem::path own(executableFolder);
    if (holdsSupportFiles(executableFolder)) return executableFolder;
    // The executable's folder is a real one (the system reports it with links resolved), so
    // ".." may be taken lexically.
    const auto installed = (own / kInstalledProgramFolder).lexically_normal();
    if (holdsSupportFiles(installed.string())) return withoutTrailingSeparator(installed.string());
    return executableFolder;
}

std::string programFolder() {
    return programFolderFor(executableFolder());
}

}  // namespace talvrin::platform
