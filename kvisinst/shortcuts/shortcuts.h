// Start-menu folders and the shell links in them, as the product's INF describes them. The exports
// (InstallShortcuts, AddRemoveShortcut) are declared in kvisinst/exports.h.
#pragma once

#include "kvisinst/common/win32.h"

// Folder paths, link paths, shortcut names and INF texts fit in this many characters with the NUL.
constexpr int kShortcutTextSize = 260;

// The key the shell keeps its special folders' paths under, in HKEY_CURRENT_USER (per-user folders)
// and HKEY_LOCAL_MACHINE (the All Users folders, whose names begin with "Common ").
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Expands a folder template into `folder` (kShortcutTextSize characters): ordinary characters are
// copied and each "<name>" is replaced by the "Shell Folders" value `name`. Returns S_OK, or:
// - E_INVALIDARG for a '<' without a closing '>';
// - the HRESULT of the failed open or read for a value that cannot be read (key missing or not
//   openable with KEY_ALL_ACCESS, value missing, not a string, or longer than 260 bytes);
// - HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) when the path would exceed 259 characters.
// `folder` holds no usable path after a failure.
HRESULT ExpandFolderTemplate(LPCSTR folderTemplate, LPSTR folder);
