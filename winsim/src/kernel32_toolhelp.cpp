// kernel32: toolhelp snapshots of the machine's processes and threads (api/kernel32_toolhelp.h).
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A snapshot: copies of the records as they were when it was taken, and where each walk stands.
class CSnapshotObject final : public winsim::KernelObject {
public:
    std::vector<PROCESSENTRY32> processes;
    std::vector<THREADENTRY32> threads;
    size_t nextProcess = 0;
    size_t nextThread = 0;
};

// What Windows reports as the base priority of a normal process and its threads.
constexpr LONG kNormalPriority = 8;

PROCESSENTRY32 ProcessEntry(DWORD id, DWORD parentId, DWORD threadCount, const std::string& path, bool nt) {
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = id;
    entry.cntThreads = threadCount;
    entry.th32ParentProcessID = parentId;
    entry.pcPriClassBase = kNormalPriority;
    // The NT family reports the file name alone, 95/98 the full path.
    const std::string name = nt ? path.substr(path.find_last_of('\\') + 1) : path;
    std::strncpy(entry.szExeFile, name.c_str(), sizeof entry.szExeFile - 1);
    return entry;
}

THREADENTRY32 ThreadEntry(DWORD id, DWORD ownerId) {
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    entry.th32ThreadID = id;
    entry.th32OwnerProcessID = ownerId;
    entry.tpBasePri = kNormalPriority;
    return entry;
}

// The snapshot behind a handle, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<CSnapshotObject> SnapshotOf(HANDLE handle) {
    auto snapshot = winsim::ObjectFromHandle<CSnapshotObject>(handle);
    if (!snapshot) SetLastError(ERROR_INVALID_HANDLE);
    return snapshot;
}

// Copies the next record of a walk into the caller's, whose dwSize must hold it.
template <typename Entry>
BOOL NextEntry(const std::vector<Entry>& list, size_t* next, Entry* entry) {
    if (!entry || entry->dwSize < sizeof(Entry)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (*next >= list.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const DWORD size = entry->dwSize;
    *entry = list[(*next)++];
    entry->dwSize = size;
    return TRUE;
}

}  // namespace

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    winsim::Machine& machine = winsim::Current();
    const bool nt = winsim::IsNtFamily(machine.Version());
    auto snapshot = std::make_shared<CSnapshotObject>();
    const DWORD self = GetCurrentProcessId();
    // Threads are listed for every process whatever process id is asked for, as Windows does.
    if (flags & TH32CS_SNAPPROCESS) snapshot->processes.push_back(ProcessEntry(self, 0, 1, machine.ProgramPath(), nt));
    if (flags & TH32CS_SNAPTHREAD) snapshot->threads.push_back(ThreadEntry(GetCurrentThreadId(), self));
    for (const winsim::ProcessRecord& p : machine.Processes().Running()) {
        if (flags & TH32CS_SNAPPROCESS)
            snapshot->processes.push_back(
                ProcessEntry(p.id, self, static_cast<DWORD>(p.threads.size()), p.program, nt));
        if (flags & TH32CS_SNAPTHREAD)
            for (const auto& t : p.threads) snapshot->threads.push_back(ThreadEntry(t.id, p.id));
    }
    return winsim::AddHandle(snapshot);
}

BOOL WINAPI Process32First(HANDLE handle, LPPROCESSENTRY32 entry) {
    auto snapshot = SnapshotOf(handle);
    if (!snapshot) return FALSE;
    snapshot->nextProcess = 0;
    return NextEntry(snapshot->processes, &snapshot->nextProcess, entry);
}

BOOL WINAPI Process32Next(HANDLE handle, LPPROCESSENTRY32 entry) {
    auto snapshot = SnapshotOf(handle);
    return snapshot ? NextEntry(snapshot->processes, &snapshot->nextProcess, entry) : FALSE;
}

BOOL WINAPI Thread32First(HANDLE handle, LPTHREADENTRY32 entry) {
    auto snapshot = SnapshotOf(handle);
    if (!snapshot) return FALSE;
    snapshot->nextThread = 0;
    return NextEntry(snapshot->threads, &snapshot->nextThread, entry);
}

BOOL WINAPI Thread32Next(HANDLE handle, LPTHREADENTRY32 entry) {
    auto snapshot = SnapshotOf(handle);
    return snapshot ? NextEntry(snapshot->threads, &snapshot->nextThread, entry) : FALSE;
}
