// CreateFileA and the calls on a file handle. Each handle is a host file descriptor of its own, so
// that, as on Windows, every handle keeps its own file position.
#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "lookup_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

class CFileObject;

// The opens of each host file in this process, for the share-mode checks.
std::mutex g_opensLock;
std::map<std::pair<dev_t, ino_t>, std::vector<const CFileObject*>> g_opens;

class CFileObject : public winsim::KernelObject {
public:
    CFileObject(int fd, DWORD access, DWORD share, std::pair<dev_t, ino_t> id)
        : fd_(fd), access_(access), share_(share), id_(id) {}

    ~CFileObject() override {
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

    int Fd() const { return fd_; }
    bool CanRead() const { return access_ & kReadAccess; }
    bool CanWrite() const { return access_ & kWriteAccess; }
    DWORD Share() const { return share_; }
    bool DeletesToo() const { return access_ & DELETE; }

private:
    int fd_;
    DWORD access_;
    DWORD share_;
    std::pair<dev_t, ino_t> id_;
};

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
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        default:
            return ERROR_INVALID_FUNCTION;
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

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (!fileName) return Fail(ERROR_INVALID_PARAMETER);
    if (std::strpbrk(fileName, "*?<>|\"")) return Fail(ERROR_INVALID_NAME);
    // Asynchronous I/O and deletion on close are not simulated.
    if (flagsAndAttributes & (FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE)) return Fail(ERROR_INVALID_PARAMETER);
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) return Fail(ERROR_INVALID_PARAMETER);
    if (creationDisposition == TRUNCATE_EXISTING && !(desiredAccess & kWriteAccess)) return Fail(ERROR_INVALID_PARAMETER);

    const auto full = winsim::FullWindowsPath(fileName);
    if (!full) return Fail(ERROR_PATH_NOT_FOUND);
    if (full->size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);
    const auto host = winsim::HostPath(*full);
    if (!host) return Fail(ERROR_PATH_NOT_FOUND);

    // The folder must exist: CreateFile makes no directories.
    const std::string folder = host->substr(0, host->find_last_of('/'));
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);

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
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
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
    const int64_t move = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                             static_cast<uint32_t>(distance))
                                      : static_cast<int64_t>(distance);
    int whence;
    switch (moveMethod) {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
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

// Not yet simulated: declared so that code using them builds.
BOOL MoveFileExA(LPCSTR, LPCSTR, DWORD) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
DWORD GetShortPathNameA(LPCSTR, LPSTR, DWORD) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}
BOOL SetEndOfFile(HANDLE) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
