// The executable's folder on Windows: GetModuleFileNameW of the executable, as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/os/program_folder.h"

namespace talvrin::platform {

std::string folderOf(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of("\\/");
    if (slash == std::string::npos) return {};
    // The root of a drive keeps its separator ("C:\"), as the root of the file system does.
    if (slash == 2 && executablePath[1] == ':') return executablePath.substr(0, 3);
    if (slash == 0) return executablePath.substr(0, 1);
    return executablePath.substr(0, slash);
}

std::string executableFolder() {
    try {
        std::vector<wchar_t> buf(MAX_PATH);
        for (int attempt = 0; attempt < 6; ++attempt) {
            const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n == 0) return {};
            // A name that filled the buffer may have been cut: try again with a larger one.
            if (n < buf.size()) {
                const std::u16string name(buf.data(), buf.data() + n);
                return folderOf(utf16ToUtf8(name));
            }
            buf.resize(buf.size() * 4);
        }
        return {};
    } catch (...) {
        return {};
    }
}

}  // namespace talvrin::platform
