// kernel32: the current, Windows and system directories, file attributes, and CreateDirectoryA,
// RemoveDirectoryA and DeleteFileA on the machine's drives.
//
// Deliberately less than Windows: security attributes are ignored, and a file or folder that another
// program holds open is not simulated (nothing else holds them).
#include "files_internal.h"
#include "pathcheck.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
    // Directory queries return the length without the NUL when it fits, else the size needed.
    if (text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

using winsim::EntryAt;
using winsim::HostEntry;

// A path resolved for a file call: its full Windows form and the host path it stands for.
struct Target {
    std::string full;
    std::string host;
    std::string longPath;  // short names replaced by the long ones they stand for
};

// Resolves a path the way the file calls do, or sets the last error and returns nothing.
std::optional<Target> Resolve(LPCSTR path) {
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    auto full = winsim::FullWindowsPath(path);
    if (!full) {
        SetLastError(ERROR_BAD_PATHNAME);
        return std::nullopt;
    }
    if (winsim::HasInvalidNameCharacters(*full)) {
        SetLastError(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    auto resolved = winsim::ResolveOn(winsim::Current(), *full);
    return Target{*full, std::move(resolved.host), std::move(resolved.longPath)};
}

bool IsRoot(const std::string& full) { return full.size() == 3; }


// What RemoveDirectoryA and DeleteFileA both do first: the entry must exist and be of the kind the
// call removes; the other kind fails with the call's own error.
std::optional<Target> ResolveExisting(LPCSTR path, HostEntry kind, DWORD otherKindError) {
    auto target = Resolve(path);
    if (!target) return std::nullopt;
    const HostEntry found = EntryAt(target->host);
    if (found == HostEntry::Missing) {
        SetLastError(winsim::MissingEntryError(target->host));
        return std::nullopt;
    }
    if (found != kind || winsim::EndsAsFolderButIsFile(path, target->host)) {
        SetLastError(winsim::EndsAsFolderButIsFile(path, target->host) ? ERROR_INVALID_NAME : otherKindError);
        return std::nullopt;
    }
    return target;
}

}  // namespace

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    auto target = Resolve(path);
    if (!target) return FALSE;
    // The ANSI call leaves room for an 8.3 name below the new folder: MAX_PATH - 12 characters.
    if (target->full.size() > MAX_PATH - 12) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    if (EntryAt(target->host) != HostEntry::Missing) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    // One level only: the parent must exist already.
    if (EntryAt(std::filesystem::path(target->host).parent_path().string()) != HostEntry::Directory) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::error_code ec;
    if (!std::filesystem::create_directory(target->host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
    const auto target = ResolveExisting(path, HostEntry::Directory, ERROR_DIRECTORY);
    if (!target) return FALSE;
    if (IsRoot(target->full)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // The process's current directory is held open, so it cannot go.
    if (winsim::EqualsNoCase(target->full, winsim::Current().CurrentDirectory())) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    std::error_code ec;
    if (!std::filesystem::is_empty(target->host, ec)) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    if (rmdir(target->host.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    winsim::Current().ShortNames().Removed(target->longPath);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
    const auto target = ResolveExisting(path, HostEntry::File, ERROR_ACCESS_DENIED);
    if (!target) return FALSE;
    // The file is opened for deletion first: a handle that does not share deleting refuses it.
    if (winsim::HeldAgainst(target->host, DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (winsim::IsReadOnlyFile(target->host) || unlink(target->host.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    winsim::Current().ShortNames().Removed(target->longPath);
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    return CopyOut(winsim::Current().CurrentDirectory(), buffer, size);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    auto full = path ? winsim::FullWindowsPath(path) : std::nullopt;
    auto host = full ? winsim::HostPath(*full) : std::nullopt;
    struct stat st {};
    if (!host || stat(host->c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    winsim::Current().SetCurrentDirectory(*full);
    return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut(winsim::Current().WindowsDirectory(), buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return CopyOut(winsim::Current().SystemDirectory(), buffer, size); }

DWORD GetFileAttributesA(LPCSTR path) {
    auto host = path ? winsim::HostPath(path) : std::nullopt;
    struct stat st {};
    if (!host || stat(host->c_str(), &st) != 0) {
        SetLastError(host ? winsim::MissingEntryError(*host) : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (winsim::EndsAsFolderButIsFile(path, *host)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    // The read-only attribute is the host file's missing write permission.
    return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_ARCHIVE : (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    auto target = Resolve(path);
    if (!target) return FALSE;
    struct stat st {};
    if (stat(target->host.c_str(), &st) != 0) {
        SetLastError(winsim::MissingEntryError(target->host));
        return FALSE;
    }
    if (winsim::EndsAsFolderButIsFile(path, target->host)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // Only read-only is kept, as the host file's owner-write permission; FILE_ATTRIBUTE_NORMAL (or any
    // set without it) clears it. A folder's read-only attribute means nothing to Windows' file calls,
    // and taking the host folder's write permission would stop files being made in it: not kept.
    if (S_ISDIR(st.st_mode)) return TRUE;
    const mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH})
                                                               : (st.st_mode | S_IWUSR);
    if (chmod(target->host.c_str(), mode & 07777) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
