// What the file calls (kernel32_files.cpp, kernel32_directories.cpp, kernel32_mappings.cpp), the
// drives (files.cpp) and the short names (shortnames.cpp) share: how a path is found on a machine's
// drives, the file handle's object, and which files have views mapped.
#pragma once

#include <winsim/handles.h>
#include <winsim/types.h>

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace winsim {

class Machine;

// A full Windows path (FullWindowsPath's form) as one machine's drives hold it.
struct ResolvedPath {
    std::string host;      // the host path; components that do not exist keep the spelling given
    std::string longPath;  // the Windows path with each existing component spelled as on disk, long
                           // names in place of short ones
    size_t found = 0;      // how many leading components exist
    size_t components = 0;
    bool AllFound() const { return found == components; }
};
// Each component matches a name on disk without regard to case, or else a short name the machine
// gave (ShortNames).
ResolvedPath ResolveOn(Machine& machine, std::string_view fullPath);

// Identity of a host file, the same for every handle on it.
using FileId = std::pair<dev_t, ino_t>;

// The object behind a handle CreateFileA returned. Each has a host descriptor of its own, so that
// every handle keeps its own position, as on Windows.
class CFileObject : public KernelObject {
public:
    CFileObject(int fd, DWORD access, DWORD share, FileId id) : fd_(fd), access_(access), share_(share), id_(id) {}
    ~CFileObject() override;

    int Fd() const { return fd_; }
    bool CanRead() const;
    bool CanWrite() const;
    DWORD Share() const { return share_; }
    bool DeletesToo() const;
    FileId Id() const { return id_; }

private:
    int fd_;
    DWORD access_;
    DWORD share_;
    FileId id_;
};

// The largest size of a mapping of the file of which a view is still mapped (the views outlive the
// mapping's handle); 0 when none is. Windows refuses to cut a file below it.
uint64_t MappedViewsEnd(FileId id);

// Whether a handle of this process keeps the host file from being opened with `access` (GENERIC_WRITE:
// it was opened without FILE_SHARE_WRITE, and a copy onto it fails with ERROR_SHARING_VIOLATION;
// DELETE, which deleting or renaming it needs: without FILE_SHARE_DELETE).
bool HeldAgainst(const std::string& host, DWORD access);
// Whether any handle of this process has the host file open.
bool IsHeldOpen(const std::string& host);

}  // namespace winsim
