// Checks on Windows path names shared by the simulated file calls.
#pragma once

#include <winsim/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

// True when a component of an absolute Windows path (after "X:\") holds a character no file name
// may contain: a control character or one of < > : " / | ? *.
bool HasInvalidNameCharacters(std::string_view fullPath);

// Existence of what a host path names.
enum class HostEntry { Missing, File, Directory };
HostEntry EntryAt(const std::string& hostPath);

// The Win32 error for a missing entry: ERROR_PATH_NOT_FOUND when its folder is missing too, else
// ERROR_FILE_NOT_FOUND.
DWORD MissingEntryError(const std::string& hostPath);

// Whether `path` ends in a separator ('\\' or '/').
bool EndsInSeparator(std::string_view path);

// Whether `path` ends in a separator although it names a file ("C:\a.txt\"): Windows refuses such a
// name with ERROR_INVALID_NAME wherever a file is meant (a folder may be named so).
bool EndsAsFolderButIsFile(std::string_view path, const std::string& hostPath);

// Whether a host file lacks its owner's write permission, which stands for FILE_ATTRIBUTE_READONLY.
bool IsReadOnlyFile(const std::string& hostPath);

}  // namespace winsim
