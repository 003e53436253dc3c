// kernel32: listing a folder (FindFirstFileA, FindNextFileA, FindClose).
#pragma once

#include <winsim/api/shell32_links.h>
#include <winsim/types.h>

// PATH is a folder and a last component that may hold the wildcards '*' and '?', matched without
// regard to letter case ("*" and "*.*" match every name). The entries come in the order of their long
// names compared without regard to case, as NTFS gives them; "." and ".." are listed first in a folder
// that is not a drive's root. Each entry has its long name, its size and FILE_ATTRIBUTE_DIRECTORY,
// FILE_ATTRIBUTE_READONLY or FILE_ATTRIBUTE_ARCHIVE; times and the short name are not filled in
// (zero, empty). No match is ERROR_FILE_NOT_FOUND, a missing folder ERROR_PATH_NOT_FOUND. The list is
// taken when FindFirstFileA is called: entries made or removed later are not seen.
HANDLE FindFirstFileA(LPCSTR path, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE find);
