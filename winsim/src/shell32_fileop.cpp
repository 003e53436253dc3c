// shell32: SHFileOperationA, deletion only.
//
// Deliberately less than Windows: only FO_DELETE is carried out (the other operations fail with
// ERROR_CALL_NOT_IMPLEMENTED); names are taken literally (no wildcards); FOF_ALLOWUNDO deletes for
// good, as there is no recycle bin; where Windows would ask for confirmation the simulated user
// agrees. Of the error boxes the shell shows without FOF_NOERRORUI, only the one for a name that
// does not exist is shown (recorded on the machine's Dialogs); other failures are only returned.
#include "pathcheck.h"

#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/machine.h>
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
                // Windows stops at the first name it cannot find, and unless told not to, tells the
                // user so in a modal box that waits for OK (FOF_SILENT only hides the progress
                // dialog). The caption is the shell's for its delete errors ("Error Deleting File",
                // as "Error Renaming File" for renames); the text is what Windows 2000 users report
                // for a name the shell cannot find. The wording of 95, 98 and NT 4 is not confirmed:
                // winsim shows the same box on every version.
                if (!(operation->fFlags & FOF_NOERRORUI))
                    winsim::Current().Dialogs().ShowMessageBox(
                        operation->hwnd, "Cannot delete file: Cannot read from the source file or disk.",
                        "Error Deleting File", MB_OK | MB_ICONSTOP);
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
