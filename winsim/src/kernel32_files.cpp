// CreateFileA and the calls on a file handle, MoveFileExA and GetShortPathNameA. Each handle is a host
// file descriptor of its own, so that, as on Windows, every handle keeps its own file position.
#include "files_internal.h"
#include "pathcheck.h"

#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include "lookup_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kReadAccess = GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE;
constexpr DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL;

using winsim::CFileObject;
using winsim::FileId;

// The opens of each host file in this process, for the share-mode checks.
std::mutex g_opensLock;
std::map<FileId, std::vector<const CFileObject*>> g_opens;

thread_local winsim::CLookupCache<CFileObject> t_files WINSIM_FAST_TLS;

// Whether an open with this access and sharing can coexist with an existing one, by the rules of
// CreateFile: each side must share what the other one does with the file. Opens that neither read,
// write nor delete take part in no check.
bool SharingAllows(const CFileObject& existing, DWORD access, DWORD share) {
    const bool reads = access & kReadAccess, writes = access & kWriteAccess, deletes = access & DELETE;
    if (!reads && !writes && !deletes) return true;
    if (!existing.CanRead() && !existing.CanWrite() && !existing.DeletesToo()) return true;
    if (reads && !(existing.Share() & FILE_SHARE_READ)) return false;
    if (writes && !(existing.Share() & FILE_SHARE_WRITE)) return false;
    if (deletes && !(existing.Share() & FILE_SHARE_DELETE)) return false;
    if (existing.CanRead() && !(share & FILE_SHARE_READ)) return false;
    if (existing.CanWrite() && !(share & FILE_SHARE_WRITE)) return false;
    if (existing.DeletesToo() && !(share & FILE_SHARE_DELETE)) return false;
    return true;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return ERROR_ACCESS_DENIED;
        case ENOSPC: return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        default: return ERROR_INVALID_FUNCTION;
    }
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

CFileObject* FileFromHandle(HANDLE handle) {
    CFileObject* file = t_files.Find(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

}  // namespace

namespace winsim {

CFileObject::~CFileObject() {
    {
        std::lock_guard<std::mutex> lock(g_opensLock);
        auto& list = g_opens[id_];
        for (auto it = list.begin(); it != list.end(); ++it)
            if (*it == this) {
                list.erase(it);
                break;
            }
        if (list.empty()) g_opens.erase(id_);
    }
    close(fd_);
}

bool CFileObject::CanRead() const { return access_ & kReadAccess; }
bool CFileObject::CanWrite() const { return access_ & kWriteAccess; }
bool CFileObject::DeletesToo() const { return access_ & DELETE; }

bool HeldAgainst(const std::string& host, DWORD access) {
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) return false;
    std::lock_guard<std::mutex> lock(g_opensLock);
    auto it = g_opens.find({st.st_dev, st.st_ino});
    if (it == g_opens.end()) return false;
    for (const CFileObject* other : it->second)
        if (!SharingAllows(*other, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) return true;
    return false;
}

bool IsHeldOpen(const std::string& host) {
    struct stat st {};
    if (stat(host.c_str(), &st) != 0) return false;
    std::lock_guard<std::mutex> lock(g_opensLock);
    auto it = g_opens.find({st.st_dev, st.st_ino});
    return it != g_opens.end() && !it->second.empty();
}

}  // namespace winsim

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName) return Fail(ERROR_INVALID_PARAMETER);
    if (std::strpbrk(fileName, "*?<>|\"")) return Fail(ERROR_INVALID_NAME);
    // Asynchronous I/O and deletion on close are not simulated.
    if (flagsAndAttributes & (FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE)) return Fail(ERROR_INVALID_PARAMETER);
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    if (creationDisposition == TRUNCATE_EXISTING && !(desiredAccess & kWriteAccess))
        return Fail(ERROR_INVALID_PARAMETER);

    const auto full = winsim::FullWindowsPath(fileName);
    if (!full) return Fail(ERROR_PATH_NOT_FOUND);
    if (full->size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);
    const auto host = winsim::HostPath(*full);
    if (!host) return Fail(ERROR_PATH_NOT_FOUND);

    // The folder must exist: CreateFile makes no directories.
    const std::string folder = host->substr(0, host->find_last_of('/'));
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
    // A name ending in a separator is no file's: a folder so named is a path not found, a file an
    // invalid name, and nothing is created under it.
    if (winsim::EndsInSeparator(fileName)) {
        const winsim::HostEntry entry = winsim::EntryAt(*host);
        const bool creates = creationDisposition != OPEN_EXISTING && creationDisposition != TRUNCATE_EXISTING;
        return Fail(entry == winsim::HostEntry::Directory             ? ERROR_PATH_NOT_FOUND
                    : entry == winsim::HostEntry::Missing && !creates ? ERROR_FILE_NOT_FOUND
                                                                      : ERROR_INVALID_NAME);
    }

    std::lock_guard<std::mutex> lock(g_opensLock);
    const bool exists = stat(host->c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (!exists && (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING))
        return Fail(ERROR_FILE_NOT_FOUND);
    if (exists && creationDisposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    const bool truncates = exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING);
    // A read-only file can be neither written nor replaced.
    if (exists && !(st.st_mode & S_IWUSR) && ((desiredAccess & kWriteAccess) || truncates))
        return Fail(ERROR_ACCESS_DENIED);
    // Windows will not cut away what a view of the file shows.
    if (truncates && winsim::MappedViewsEnd({st.st_dev, st.st_ino}) > 0) return Fail(ERROR_USER_MAPPED_FILE);
    if (exists) {
        auto it = g_opens.find({st.st_dev, st.st_ino});
        if (it != g_opens.end())
            for (const CFileObject* other : it->second)
                if (!SharingAllows(*other, desiredAccess, shareMode)) return Fail(ERROR_SHARING_VIOLATION);
    }

    // Creation is decided by the host's open, not by the look above, so that two processes creating
    // the file at once both succeed where Windows lets them.
    const bool reads = desiredAccess & kReadAccess;
    const bool writes = (desiredAccess & kWriteAccess) || creationDisposition == CREATE_ALWAYS ||
                        creationDisposition == TRUNCATE_EXISTING;
    int flags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    switch (creationDisposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    }
    const mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    const int fd = open(host->c_str(), flags, mode);
    if (fd < 0) return Fail(ErrorFromErrno(errno));
    // Replacing a file gives it the attributes asked for, read-only among them.
    if (truncates && (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)) fchmod(fd, 0444);
    fstat(fd, &st);

    auto object = std::make_shared<CFileObject>(fd, desiredAccess, shareMode, std::make_pair(st.st_dev, st.st_ino));
    g_opens[{st.st_dev, st.st_ino}].push_back(object.get());
    HANDLE handle = winsim::AddHandle(std::move(object));
    const bool reportsExisting = exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
    if (overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!bytesWritten) {
        // Windows probes the pointer and fails as for any bad address.
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *bytesWritten = 0;
    CFileObject* object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->CanWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const char* data = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < bytesToWrite) {
        const ssize_t n = write(object->Fd(), data + done, bytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *bytesWritten = done;
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    *bytesWritten = done;
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    if (overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!bytesRead) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *bytesRead = 0;
    CFileObject* object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->CanRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    char* data = static_cast<char*>(buffer);
    DWORD done = 0;
    // Reading at the end of the file succeeds with no bytes, as on Windows.
    while (done < bytesToRead) {
        const ssize_t n = read(object->Fd(), data + done, bytesToRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *bytesRead = done;
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    *bytesRead = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    CFileObject* object = FileFromHandle(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    // Without the high part the distance is a signed 32-bit number; with it, the two make one signed
    // 64-bit number.
    const int64_t move =
        distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                            static_cast<uint32_t>(distance))
                     : static_cast<int64_t>(distance);
    int whence;
    switch (moveMethod) {
        case FILE_BEGIN: whence = SEEK_SET; break;
        case FILE_CURRENT: whence = SEEK_CUR; break;
        case FILE_END: whence = SEEK_END; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    // One host call: a move before the start fails there (EINVAL) and leaves the position alone.
    const off_t target = lseek(object->Fd(), static_cast<off_t>(move), whence);
    if (target < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    // A low part of 0xFFFFFFFF is a valid answer; the last error tells it from a failure.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    CFileObject* object = FileFromHandle(file);
    if (!object) return INVALID_FILE_SIZE;
    struct stat st {};
    fstat(object->Fd(), &st);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file) {
    CFileObject* object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->CanWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    fdatasync(object->Fd());
    return TRUE;
}

namespace {

BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The NT family keeps delayed operations for the session manager, which carries them out at the next
// start: pairs of strings, appended after the pairs already there.
BOOL RecordDelayedMove(LPCSTR existing, LPCSTR newName, DWORD flags) {
    winsim::Machine& machine = winsim::Current();
    // Only a caller who may write under HKEY_LOCAL_MACHINE\SYSTEM can (AddPendingFileRename says).
    if (machine.CallerAccount() == winsim::Machine::Account::User) return FailWith(ERROR_ACCESS_DENIED);
    const auto source = winsim::FullWindowsPath(existing);
    if (!source) return FailWith(ERROR_PATH_NOT_FOUND);
    std::string target;
    if (newName && *newName) {
        const auto full = winsim::FullWindowsPath(newName);
        if (!full) return FailWith(ERROR_PATH_NOT_FOUND);
        target = *full;
    }
    const DWORD error = winsim::AddPendingFileRename(machine, *source, target, flags & MOVEFILE_REPLACE_EXISTING);
    if (error != NO_ERROR) return FailWith(error);
    return TRUE;
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
    winsim::Machine& machine = winsim::Current();
    if (!winsim::IsNtFamily(machine.Version())) return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    if (!existing) return FailWith(ERROR_INVALID_PARAMETER);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // A delayed operation cannot copy: the session manager only renames.
        if (flags & MOVEFILE_COPY_ALLOWED) return FailWith(ERROR_INVALID_PARAMETER);
        return RecordDelayedMove(existing, newName, flags);
    }
    // Deleting now is DeleteFileA's work; MoveFileExA deletes only at the restart.
    if (!newName) return FailWith(ERROR_INVALID_PARAMETER);

    const auto fromFull = winsim::FullWindowsPath(existing);
    const auto toFull = winsim::FullWindowsPath(newName);
    if (!fromFull || !toFull) return FailWith(ERROR_PATH_NOT_FOUND);
    const winsim::ResolvedPath from = winsim::ResolveOn(machine, *fromFull);
    const winsim::ResolvedPath to = winsim::ResolveOn(machine, *toFull);
    struct stat fromStat {};
    struct stat toStat {};
    if (winsim::EndsAsFolderButIsFile(existing, from.host)) return FailWith(ERROR_INVALID_NAME);
    if (!from.AllFound() || stat(from.host.c_str(), &fromStat) != 0)
        return FailWith(winsim::MissingEntryError(from.host));
    // The source is opened for deletion before the target is looked at.
    if (winsim::HeldAgainst(from.host, DELETE)) return FailWith(ERROR_SHARING_VIOLATION);
    if (winsim::EndsAsFolderButIsFile(newName, to.host)) return FailWith(ERROR_INVALID_NAME);
    if (to.found + 1 < to.components) return FailWith(ERROR_PATH_NOT_FOUND);
    const bool folder = S_ISDIR(fromStat.st_mode);
    // A file takes no new name that ends as a folder's does.
    if (!folder && winsim::EndsInSeparator(newName) && winsim::EntryAt(to.host) == winsim::HostEntry::Missing)
        return FailWith(ERROR_INVALID_NAME);
    // Each drive is a volume of its own: a folder cannot leave it, a file only as a copy.
    if ((*fromFull)[0] != (*toFull)[0] && (folder || !(flags & MOVEFILE_COPY_ALLOWED)))
        return FailWith(ERROR_NOT_SAME_DEVICE);

    const bool targetExists = to.AllFound() && stat(to.host.c_str(), &toStat) == 0;
    const bool sameFile = targetExists && toStat.st_dev == fromStat.st_dev && toStat.st_ino == fromStat.st_ino;
    const bool replaces = targetExists && !sameFile;
    if (replaces && !(flags & MOVEFILE_REPLACE_EXISTING)) return FailWith(ERROR_ALREADY_EXISTS);
    // Replacing never puts anything in place of a folder, a read-only file or a file in use; and a
    // folder cannot go into itself.
    if (replaces && S_ISDIR(toStat.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
    if (folder && toFull->size() > fromFull->size() && (*toFull)[fromFull->size()] == '\\' &&
        winsim::EqualsNoCase(toFull->substr(0, fromFull->size()), *fromFull))
        return FailWith(ERROR_INVALID_PARAMETER);
    // A target open at all, even sharing everything, or read-only, is not replaced.
    if (replaces && (!(toStat.st_mode & S_IWUSR) || winsim::IsHeldOpen(to.host))) return FailWith(ERROR_ACCESS_DENIED);
    // A case-only rename keeps the entry and changes its spelling; the host name is then the one given.
    const std::string hostTarget =
        sameFile ? to.host.substr(0, to.host.find_last_of('/') + 1) + toFull->substr(toFull->find_last_of('\\') + 1)
                 : to.host;
    // A folder takes the place of a file it replaces (the host's rename would not put one there).
    if (folder && replaces && unlink(to.host.c_str()) != 0) return FailWith(ErrorFromErrno(errno));
    if (rename(from.host.c_str(), hostTarget.c_str()) != 0) return FailWith(ErrorFromErrno(errno));

    winsim::ShortNames& shortNames = machine.ShortNames();
    if (replaces) shortNames.Removed(to.longPath);
    shortNames.Moved(from.longPath, winsim::ResolveOn(machine, *toFull).longPath);
    return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists) {
    if (!existing || !newName) return FailWith(ERROR_INVALID_PARAMETER);
    const DWORD attributes = GetFileAttributesA(existing);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FailWith(ERROR_ACCESS_DENIED);
    // The source is opened first, read beside its writers (but not beside a handle that may delete
    // it); then the target is looked at and written alone.
    const HANDLE source =
        CreateFileA(existing, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE) return FALSE;
    const DWORD there = GetFileAttributesA(newName);
    DWORD refused = ERROR_SUCCESS;
    if (there != INVALID_FILE_ATTRIBUTES && failIfExists)
        refused = ERROR_FILE_EXISTS;
    else if (there != INVALID_FILE_ATTRIBUTES &&
             (there & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
        refused = ERROR_ACCESS_DENIED;
    const HANDLE target = refused
                              ? INVALID_HANDLE_VALUE
                              : CreateFileA(newName, GENERIC_WRITE, 0, nullptr,
                                            failIfExists ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        const DWORD error = refused ? refused : GetLastError();
        CloseHandle(source);
        return FailWith(error);
    }
    char buffer[65536];
    DWORD read = 0, written = 0;
    BOOL copied = TRUE;
    while (copied && (copied = ReadFile(source, buffer, sizeof buffer, &read, nullptr)) && read > 0)
        copied = WriteFile(target, buffer, read, &written, nullptr) && written == read;
    const DWORD error = GetLastError();
    CloseHandle(source);
    CloseHandle(target);
    if (!copied) {
        DeleteFileA(newName);
        return FailWith(error ? error : ERROR_ACCESS_DENIED);
    }
    // The copy takes the source's attributes (and the archive mark a new file gets).
    SetFileAttributesA(newName, attributes | FILE_ATTRIBUTE_ARCHIVE);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
    if (!longPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto full = winsim::FullWindowsPath(longPath);
    if (!full) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    winsim::Machine& machine = winsim::Current();
    const winsim::ResolvedPath resolved = winsim::ResolveOn(machine, *full);
    if (!resolved.AllFound()) {
        SetLastError(resolved.found + 1 == resolved.components ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return 0;
    }
    // Each component's short name within its long folder.
    std::string result = resolved.longPath.substr(0, 2);
    std::string folder = result + "\\";
    size_t at = 3;
    while (at <= resolved.longPath.size() && resolved.components > 0) {
        const size_t end = std::min(resolved.longPath.find('\\', at), resolved.longPath.size());
        const std::string name = resolved.longPath.substr(at, end - at);
        result += "\\" + machine.ShortNames().ShortNameOf(folder, name);
        folder = resolved.longPath.substr(0, end);
        at = end + 1;
    }
    if (resolved.components == 0) result += "\\";
    // Too small a buffer is left alone and the answer is the size needed, the NUL included.
    if (!shortPath || result.size() + 1 > size) return static_cast<DWORD>(result.size() + 1);
    std::memcpy(shortPath, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size());
}

BOOL SetEndOfFile(HANDLE file) {
    CFileObject* object = FileFromHandle(file);
    if (!object) return FALSE;
    if (!object->CanWrite()) return FailWith(ERROR_ACCESS_DENIED);
    const off_t position = lseek(object->Fd(), 0, SEEK_CUR);
    struct stat st {};
    fstat(object->Fd(), &st);
    // Growing is always allowed; cutting must leave every mapped view's bytes in the file.
    if (position < st.st_size && static_cast<uint64_t>(position) < winsim::MappedViewsEnd(object->Id()))
        return FailWith(ERROR_USER_MAPPED_FILE);
    if (ftruncate(object->Fd(), position) != 0) return FailWith(ErrorFromErrno(errno));
    return TRUE;
}
