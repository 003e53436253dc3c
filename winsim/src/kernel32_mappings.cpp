// File mappings: CreateFileMappingA on a file handle, and views of them. A view is a shared host
// mapping (mmap MAP_SHARED) of the file, so what a program writes into it reaches the file, and what
// reaches the file shows in every view, as on Windows.
#include "files_internal.h"

#include <winsim/win32api.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

using winsim::FileId;

// Windows places views on its allocation granularity, and file offsets must be multiples of it.
constexpr uint64_t kAllocationGranularity = 64 * 1024;

// The section a mapping handle stands for. It holds the file open by a descriptor of its own, as
// Windows' section holds a reference to the file: closing the file handle leaves the mapping usable.
class CMappingObject : public winsim::KernelObject {
public:
    CMappingObject(int fd, uint64_t size, bool writable, FileId id)
        : fd_(fd), size_(size), writable_(writable), id_(id) {}
    ~CMappingObject() override { close(fd_); }

    int Fd() const { return fd_; }
    uint64_t Size() const { return size_; }
    bool Writable() const { return writable_; }
    FileId Id() const { return id_; }

private:
    int fd_;
    uint64_t size_;
    bool writable_;
    FileId id_;
};

struct View {
    size_t length;
    uint64_t mappingSize;
    FileId file;
};

// Views by base address. A view needs nothing of its mapping once mapped: the host mapping keeps the
// file, so a view outlives the mapping's handle as it does on Windows.
std::mutex g_viewsLock;
std::map<const char*, View> g_views;

HANDLE FailNull(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace

namespace winsim {

uint64_t MappedViewsEnd(FileId id) {
    std::lock_guard<std::mutex> lock(g_viewsLock);
    uint64_t end = 0;
    for (const auto& [base, view] : g_views)
        if (view.file == id && view.mappingSize > end) end = view.mappingSize;
    return end;
}

}  // namespace winsim

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR) {
    // Mappings backed by the paging file (memory shared between processes) are not simulated; nor are
    // names, which only matter to a second process opening the same mapping.
    if (file == INVALID_HANDLE_VALUE) return FailNull(ERROR_CALL_NOT_IMPLEMENTED);
    const DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE) return FailNull(ERROR_INVALID_PARAMETER);
    const auto object = winsim::ObjectFromHandle<winsim::CFileObject>(file);
    if (!object) return FailNull(ERROR_INVALID_HANDLE);
    const bool writable = page == PAGE_READWRITE;
    // The section's protection must be what the handle allows: reading always, writing for READWRITE.
    if (!object->CanRead() || (writable && !object->CanWrite())) return FailNull(ERROR_ACCESS_DENIED);

    struct stat st {};
    fstat(object->Fd(), &st);
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    uint64_t size = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (size == 0) {
        // The file's size, which must not be 0.
        if (fileSize == 0) return FailNull(ERROR_FILE_INVALID);
        size = fileSize;
    } else if (size > fileSize) {
        // Only a writable section may be larger than its file, which grows to it with zero bytes.
        if (!writable) return FailNull(ERROR_NOT_ENOUGH_MEMORY);
        if (ftruncate(object->Fd(), static_cast<off_t>(size)) != 0) return FailNull(ERROR_DISK_FULL);
    }
    const int fd = dup(object->Fd());
    if (fd < 0) return FailNull(ERROR_TOO_MANY_OPEN_FILES);
    HANDLE handle = winsim::AddHandle(std::make_shared<CMappingObject>(fd, size, writable, object->Id()));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    const auto object = winsim::ObjectFromHandle<CMappingObject>(mapping);
    if (!object) return FailNull(ERROR_INVALID_HANDLE);
    const bool write = desiredAccess & FILE_MAP_WRITE;
    const bool copy = (desiredAccess & FILE_MAP_COPY) && !write;
    if (!(desiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE | FILE_MAP_COPY))) return FailNull(ERROR_INVALID_PARAMETER);
    if (write && !object->Writable()) return FailNull(ERROR_ACCESS_DENIED);
    const uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset % kAllocationGranularity != 0) return FailNull(ERROR_MAPPED_ALIGNMENT);
    // The view must lie within the mapping; 0 bytes means up to its end.
    if (offset >= object->Size()) return FailNull(ERROR_ACCESS_DENIED);
    const uint64_t length = bytes ? bytes : object->Size() - offset;
    if (length > object->Size() - offset) return FailNull(ERROR_ACCESS_DENIED);

    // A copy-on-write view is private: its writes reach neither the file nor other views.
    const int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
    void* base = mmap(nullptr, length, prot, copy ? MAP_PRIVATE : MAP_SHARED, object->Fd(), static_cast<off_t>(offset));
    if (base == MAP_FAILED) return FailNull(ERROR_NOT_ENOUGH_MEMORY);
    std::lock_guard<std::mutex> lock(g_viewsLock);
    g_views[static_cast<const char*>(base)] = View{static_cast<size_t>(length), object->Size(), object->Id()};
    SetLastError(ERROR_SUCCESS);
    return base;
}

BOOL UnmapViewOfFile(LPCVOID address) {
    const char* at = static_cast<const char*>(address);
    std::lock_guard<std::mutex> lock(g_viewsLock);
    // Any address inside a view names it, as the NT family takes it.
    auto it = g_views.upper_bound(at);
    if (it == g_views.begin() || at >= std::prev(it)->first + std::prev(it)->second.length) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    --it;
    munmap(const_cast<char*>(it->first), it->second.length);
    g_views.erase(it);
    return TRUE;
}
