// What a library call changed on the machine besides the registry and the services: the files on
// its drives (shortcuts shown with what they point to), its device tree, the message boxes shown,
// the programs it started and DLLs it called, the messages it sent and posted and the cursor it set.
#pragma once

#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kvsim {

// The files and folders of the machine's drives at one moment.
class CFileSnapshot {
public:
    explicit CFileSnapshot(winsim::Machine& machine);

    // "created", "deleted" and "changed" lines for everything that differs from `before`, in path
    // order; a shortcut's line is followed by what it points to. Empty when nothing changed.
    std::string ChangesSince(const CFileSnapshot& before) const;

private:
    struct Entry {
        std::string windowsPath;  // "C:\Program Files\..." as spelt on disk
        bool folder = false;
        uintmax_t size = 0;
        int64_t written = 0;
    };
    std::map<std::string, Entry> entries_;  // by upper-case Windows path
};

// The device nodes at one moment.
class CDeviceSnapshot {
public:
    explicit CDeviceSnapshot(winsim::Machine& machine);

    // Nodes removed and found, re-enumerations requested, support-library calls made since `before`.
    std::string ChangesSince(const CDeviceSnapshot& before) const;

private:
    winsim::Machine& machine_;
    std::vector<std::string> ids_;  // instance IDs of the nodes
    size_t removed_ = 0;
    size_t reenumerations_ = 0;
    size_t supportCalls_ = 0;
};

// The message boxes shown since the machine had shown `before` of them, one block each: caption,
// buttons and icon, the text line by line, and the button the simulated user chose (`scripted`: the
// one kvsim call --answer gave; else nobody is at the keyboard and it is the default one).
std::string MessageBoxesSince(winsim::Machine& machine, size_t before, bool scripted);

// One line per link: "  NAME.lnk -> TARGET ARGUMENTS" for every shortcut on the machine's drives.
std::string ListShortcuts(winsim::Machine& machine);

// One block per device node: instance ID, class, presence and hardware IDs.
std::string ListDevices(winsim::Machine& machine);

// What programs and simulated DLLs did since the machine had recorded `before` process events (see
// winsim::Processes::Events): processes started with their command lines and how they ended, DLLs
// loaded, exports called with their result or fault, DLLs freed; then the processes started in that
// time that are still running. Empty when nothing happened.
std::string ProcessesSince(winsim::Machine& machine, size_t before);

// A block for a running process: its id and program, command line, since when it runs and how it
// answers WM_QUIT, its threads (each with its message queue) and its windows.
std::string DescribeProcess(winsim::Machine& machine, const winsim::ProcessRecord& process);

// DescribeProcess of each running process.
std::string ListRunningProcesses(winsim::Machine& machine);

// "WM_CLOSE", "WM_USER+11", "message 0xC123": a window message for a person.
std::string MessageName(UINT message);

// The messages posted and sent since the machine had recorded `before` of them, one line each.
std::string MessagesSince(winsim::Machine& machine, size_t before);

// The cursors set since the machine had recorded `before` changes: "  IDC_WAIT, IDC_ARROW".
std::string CursorChangesSince(winsim::Machine& machine, size_t before);

class CKeySecuritySnapshot;

// A registry diff for a person: a hex value longer than a few lines (the session manager's pending
// renames) is cut after its first line, with how many lines were left out.
std::string ShortenLongValues(const std::string& regText);

// Everything a library call may change, taken before it; PrintChanges prints what differs after it:
// simulated time spent, registry (as a .reg file that would make the changes), key security,
// services, files, devices, message boxes, programs and DLLs, window messages, cursors and the file
// operations left for the next start. Sections that are usually empty are left out when they are.
class CChangeWatch {
public:
    explicit CChangeWatch(winsim::Machine& machine);
    ~CChangeWatch();

    // `scripted`: the message boxes were answered by --answer, not by their default button.
    void PrintChanges(bool scripted);

private:
    winsim::Machine& machine_;
    std::unique_ptr<winsim::Registry> registry_;
    std::unique_ptr<CFileSnapshot> files_;
    std::unique_ptr<CDeviceSnapshot> devices_;
    std::unique_ptr<CKeySecuritySnapshot> security_;
    size_t boxes_ = 0, processEvents_ = 0, messages_ = 0, cursors_ = 0;
    uint64_t startMs_ = 0;
    std::vector<winsim::PendingFileOperation> pending_;
};

// Makes every file named kvthk32.dll on the machine's drives a simulated DLL whose
// BuildDriverDataBase export records its calls: the product's Windows 95/98 support library.
// CDeviceSnapshot reports their calls.
void SimulateSupportLibraries(winsim::Machine& machine);

}  // namespace kvsim
