// Drives of the simulated machine: each drive letter is a host folder below the machine's root, and
// Windows paths resolve to host paths case-insensitively, as names do on FAT and NTFS.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

// Makes a Windows path absolute against the current directory and normalises it: '/' becomes '\',
// "." and ".." are resolved, repeated separators collapse. "C:\a\..\B" gives "C:\B". Returns nothing
// for paths that cannot name a file (empty, UNC, a drive-relative "C:x", "..".. above the root).
std::optional<std::string> FullWindowsPath(std::string_view path);

// Host path of an absolute or relative Windows path. Each existing component is matched without
// regard to letter case, or as the short name the machine gave it (shortnames.h); components that do not exist yet keep the spelling given, so the result
// also names a file about to be created. Nothing for a path FullWindowsPath refuses.
std::optional<std::string> HostPath(std::string_view windowsPath);

// Reads a whole file named by a Windows path; nothing when it does not exist or is a directory.
std::optional<std::string> ReadWholeFile(std::string_view windowsPath);
// Creates or replaces a file named by a Windows path, creating its host folders as needed.
bool WriteWholeFile(std::string_view windowsPath, std::string_view contents);

}  // namespace winsim
