// A fresh private folder for one test, on every platform (Windows has no mkdtemp).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace talvrin::testsupport {

// A new folder named prefix plus a random suffix in the system's temporary folder; an empty path
// when none could be made.
inline std::filesystem::path makeTempDirectory(const std::string& prefix) {
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path dir = base / (prefix + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(dir, ec)) return dir;
    }
    return {};
}

}  // namespace talvrin::testsupport
