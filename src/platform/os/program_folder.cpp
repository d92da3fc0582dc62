#include "platform/os/program_folder.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

// The build sets this from its install layout; a program in <prefix>/bin finds its data in
// <prefix>/share/talvrin.
#ifndef TALVRIN_INSTALLED_PROGRAM_FOLDER
#define TALVRIN_INSTALLED_PROGRAM_FOLDER "../share/talvrin"
#endif

namespace talvrin::platform {

namespace {

bool holdsSupportFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    return std::filesystem::is_directory(folder / "files", ec);
}

// A normalised path without a trailing separator, except for the root.
std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

const char* const kInstalledProgramFolder = TALVRIN_INSTALLED_PROGRAM_FOLDER;

std::string folderOf(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return executablePath.substr(0, slash);
}

std::string executableFolder() {
    std::vector<char> buf(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) return folderOf(std::string(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
    return {};
}

std::string programFolderFor(const std::string& executableFolder) {
    if (executableFolder.empty()) return {};
    const std::filesystem::path own(executableFolder);
    if (holdsSupportFiles(own)) return executableFolder;
    // The executable's folder is a real one (the kernel reports it with links resolved), so
    // ".." may be taken lexically.
    const auto installed = (own / kInstalledProgramFolder).lexically_normal();
    if (holdsSupportFiles(installed)) return withoutTrailingSeparator(installed.string());
    return executableFolder;
}

std::string programFolder() {
    return programFolderFor(executableFolder());
}

}  // namespace talvrin::platform
