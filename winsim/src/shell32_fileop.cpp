// shell32: SHFileOperationA, deletion only.
//
// Deliberately less than Windows: only FO_DELETE is carried out (the other operations fail with
// ERROR_CALL_NOT_IMPLEMENTED); names are taken literally (no wildcards); FOF_ALLOWUNDO deletes for
// good, as there is no recycle bin; no dialog is shown - where Windows would ask for confirmation the
// simulated user agrees, and where it would report an error (no FOF_NOERRORUI) the error is only
// returned.
#include "pathcheck.h"

#include <winsim/files.h>
#include <winsim/win32api.h>

#include <cstring>
#include <filesystem>
#include <system_error>

int SHFileOperationA(LPSHFILEOPSTRUCTA operation) {
    if (!operation || !operation->pFrom) return ERROR_INVALID_PARAMETER;
    operation->fAnyOperationsAborted = FALSE;
    if (operation->wFunc != FO_DELETE) return ERROR_CALL_NOT_IMPLEMENTED;

    // The source list: names one after the other, each with its NUL, and a second NUL at the end.
    for (LPCSTR name = operation->pFrom; *name; name += std::strlen(name) + 1) {
        auto full = winsim::FullWindowsPath(name);
        if (!full || winsim::HasInvalidNameCharacters(*full)) return ERROR_INVALID_NAME;
        auto host = winsim::HostPath(*full);
        if (!host) return ERROR_INVALID_NAME;
        std::error_code ec;
        switch (winsim::EntryAt(*host)) {
            case winsim::HostEntry::Missing:
                // Windows stops at the first name it cannot find.
                return static_cast<int>(winsim::MissingEntryError(*host));
            case winsim::HostEntry::Directory:
                // A folder goes with everything in it.
                std::filesystem::remove_all(*host, ec);
                break;
            case winsim::HostEntry::File:
                // Read-only files are deleted too once the user has confirmed (or was not asked).
                std::filesystem::remove(*host, ec);
                break;
        }
        if (ec) return ERROR_ACCESS_DENIED;
    }
    return 0;
}
