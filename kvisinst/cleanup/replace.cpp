#include "kvisinst/cleanup/replace.h"

#include "kvisinst/cleanup/wininit.h"
#include "kvisinst/common/format.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/trace/trace.h"

#include <cstring>

namespace {

constexpr char kWinInitName[] = "\\WinInit.Ini";

// Cuts (or extends) the file at `size` bytes.
void SetFileSize(HANDLE file, DWORD size) {
    SetFilePointer(file, static_cast<LONG>(size), nullptr, FILE_BEGIN);
    SetEndOfFile(file);
}

// Adds the line to WinInit.Ini. FALSE when the file cannot be opened (*opened false) or edited.
BOOL AddToWinInit(const char* line, size_t lineLength, bool* opened) {
    *opened = false;
    char path[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof kWinInitName > MAX_PATH) return FALSE;
    std::memcpy(path + length, kWinInitName, sizeof kWinInitName);

    const CFileHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return FALSE;
    *opened = true;

    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(file, &sizeHigh);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return FALSE;
    // A 4 GiB text is no WinInit.Ini; and the mapping's size must fit its 32-bit low part.
    const DWORD room = static_cast<DWORD>(lineLength + kWinInitSpare);
    if (sizeHigh != 0 || size > 0xFFFFFFFFu - room) return FALSE;
    const DWORD capacity = size + room;

    DWORD newSize = 0;
    {
        // Growing the mapping grows the file; the new bytes are zero.
        const CKernelHandle mapping(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, capacity, nullptr));
        void* const view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
        if (view) {
            newSize =
                static_cast<DWORD>(AddWinInitRenameLine(static_cast<char*>(view), size, capacity, line, lineLength));
            UnmapViewOfFile(view);
        }
    }
    // The spare bytes go; a failed edit leaves the file at its old size.
    SetFileSize(file, newSize ? newSize : size);
    return newSize != 0;
}

}  // namespace

BOOL ReplaceFileOnReboot(LPCSTR existing, LPCSTR newName) {
    TraceScope scope("ReplaceFileOnReboot");
    const DWORD attributes = GetFileAttributesA(existing);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA(existing, cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
    }

    if (const BOOL moved = MoveFileExA(existing, newName, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        TraceMessage(scope, nullptr, "NT Function worked OK for %s ", existing);
        return moved;
    }

    // Windows 95/98: WinInit.Ini's [rename] section, which the next start carries out.
    char shortPath[MAX_PATH];
    const DWORD shortLength = GetShortPathNameA(existing, shortPath, MAX_PATH);
    const char* const target = shortLength > 0 && shortLength < MAX_PATH ? shortPath : existing;
    char line[2 * MAX_PATH + 4];
    BOOL result = FALSE;
    bool opened = true;
    if (FormatText(line, sizeof line, "%s=%s\r\n", newName ? newName : "NUL", target))
        result = AddToWinInit(line, std::strlen(line), &opened);
    if (opened) TraceMessage(scope, nullptr, "95/98 Function %s", result ? "SUCCEEDED" : "FAILED");
    return result;
}
