// The executable's folder on POSIX: the link /proc/self/exe names the running executable.
#include <unistd.h>

#include <vector>

#include "platform/os/program_folder.h"

namespace talvrin::platform {

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

}  // namespace talvrin::platform
