// Where the running program lives, and the program's folder that its support files hang off.
#pragma once

#include <string>

namespace talvrin::platform {

// The folder holding the program's own executable, without a trailing separator except at the
// root of the file system ("/"). Empty when it cannot be determined.
[[nodiscard]] std::string executableFolder();

// The program's folder: the folder whose "files" subfolder holds the support files the repair
// steps name. programFolderFor(executableFolder()).
[[nodiscard]] std::string programFolder();

// The program's folder for an executable in executableFolder:
//   - executableFolder itself when "files" lies in it (the build tree, a copied folder);
//   - else the installed program's data folder, kInstalledProgramFolder taken from
//     executableFolder (<prefix>/share/talvrin for a program in <prefix>/bin), when "files"
//     lies there;
//   - else executableFolder (the support files are missing; the steps that name them fail).
// Same form as executableFolder(); empty for an empty folder.
[[nodiscard]] std::string programFolderFor(const std::string& executableFolder);

// True when folder holds the "files" folder of the support files.
[[nodiscard]] bool holdsSupportFiles(const std::string& folder);

// Where an installed program's data folder lies, relative to the folder of its executables.
extern const char* const kInstalledProgramFolder;

// The folder part of an executable's path, by the same rule.
[[nodiscard]] std::string folderOf(const std::string& executablePath);

}  // namespace talvrin::platform
