// The restart of a simulated machine: what Windows does between shutting down and the desktop that
// matters to a setup program - the file renames and deletions left for the next start, the end of
// every running program, the services that start with the system, and the clock.
//
// Pending file operations are read where each family keeps them:
//   NT family  HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager,
//              "PendingFileRenameOperations" (REG_MULTI_SZ): pairs of source "\??\C:\old" and
//              target - "" deletes the source, "\??\C:\new" renames it, "!\??\C:\new" renames it
//              over an existing file. The session manager carries them out in order at boot and
//              then removes the value.
//   95/98      the "[rename]" section of WININIT.INI in the Windows directory: "NUL=C:\OLD.DLL"
//              deletes the file, "C:\NEW.DLL=C:\OLD.DLL" renames OLD.DLL to NEW.DLL, replacing a
//              NEW.DLL that exists. WININIT.EXE carries them out in order at boot, then renames
//              WININIT.INI to WININIT.BAK.
// Each family ignores the other's form.
#pragma once

#include <winsim/types.h>

#include <string>
#include <vector>

namespace winsim {

class Machine;

struct PendingFileOperation {
    enum class Kind {
        Delete,
        Rename,   // fails when the target exists
        Replace,  // replaces an existing target file
        Ignored,  // a WININIT.INI line the boot would skip: not of the form KEY=VALUE, or a long name
    };
    Kind kind = Kind::Delete;
    std::string source;  // a Windows path ("C:\..."), without the "\??\" of the NT form
    std::string target;  // empty for Delete
    std::string text;    // as stored: the WININIT.INI line, or the registry pair as "SOURCE" -> "TARGET"
    std::string why;     // Ignored: why the boot skips it
};

// The operations the next restart of `machine` would carry out, in order (WININIT.INI lines the boot
// would skip among them, as Ignored). `machine` must be the current machine, where WININIT.INI is read.
std::vector<PendingFileOperation> PendingFileOperations(Machine& machine);

// Appends a pair to the NT family's PendingFileRenameOperations, as MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT does: `source` and `target` are full Windows paths, an empty target
// deletes the source, `replace` marks a rename that may replace an existing file. ERROR_ACCESS_DENIED
// for a caller without the right to write there (a user account), else NO_ERROR.
DWORD AddPendingFileRename(Machine& machine, const std::string& source, const std::string& target, bool replace);

// Restarts `machine`, which must be the current machine (file names resolve on it), and returns one
// line per thing done: the programs and services the shutdown ended, each pending file operation
// and its outcome, what became of WININIT.INI or the registry value, the services started at boot,
// and the time the restart took. Changes the machine only through its state classes and its drives.
std::vector<std::string> Restart(Machine& machine);

// Simulated time a restart takes (shutdown, power-on self test, boot), in milliseconds.
constexpr unsigned long long kRestartMs = 60000;

}  // namespace winsim
