#include "app/project_page.h"

#include <filesystem>
#include <system_error>

namespace talvrin {

std::string projectPagePath(const std::string& executableFolder) {
    if (executableFolder.empty()) return {};
    namespace fs = std::filesystem;
    const fs::path folder(executableFolder);
    const fs::path beside = folder / kBesideProgramPageFolder / kProjectPageName;
    std::error_code ec;
    if (fs::is_regular_file(beside, ec)) return beside.lexically_normal().string();
    return (folder / kInstalledPageFolder / kProjectPageName).lexically_normal().string();
}

}  // namespace talvrin
