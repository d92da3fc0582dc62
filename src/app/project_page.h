// The program's own page, opened by the window's link picture and its label: an HTML page that
// ships with the program.
#pragma once

#include <string>

namespace talvrin {

// The page's name, and where it lies relative to the folder of the executables.
inline constexpr const char* kProjectPageName = "talvrin.html";
inline constexpr const char* kBesideProgramPageFolder = "doc";               // build tree, copies
inline constexpr const char* kInstalledPageFolder = "../share/doc/talvrin";  // <prefix>/bin

// The page for an executable in executableFolder: <folder>/doc/talvrin.html when it exists
// (the build tree, a copied folder), else the installed <prefix>/share/doc/talvrin/talvrin.html
// taken from <prefix>/bin. A normalised absolute path when executableFolder is one; empty for
// an empty folder.
[[nodiscard]] std::string projectPagePath(const std::string& executableFolder);

}  // namespace talvrin
