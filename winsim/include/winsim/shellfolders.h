// The shell's special folders of each Windows version: the "Shell Folders" registry values a fresh
// installation has, and the folders themselves on drive C.
#pragma once

#include <winsim/machine.h>

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

// The account whose profile the NT family's per-user folders belong to.
constexpr char kProfileUser[] = "Administrator";

// Where a fresh installation of `version` keeps a shell folder: a per-user name ("Programs",
// "Desktop", ...) or an All Users name ("Common Programs", ...). Nothing for a name that version does
// not record (Windows 95 has no All Users folders).
std::optional<std::string> DefaultShellFolder(OsVersion version, std::string_view name);

// Writes the version's values under "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell
// Folders" (per-user ones under HKEY_CURRENT_USER, All Users ones under HKEY_LOCAL_MACHINE) and
// creates the folders they name. Every new machine gets them.
void LayOutShellFolders(Machine& machine);

}  // namespace winsim
