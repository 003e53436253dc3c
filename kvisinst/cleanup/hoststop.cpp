// StopHost: the polite, then forced, end of the product's host process.
#include "kvisinst/cleanup/hoststop.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/guarded.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"

namespace {

constexpr int kPostAttempts = 10;
constexpr DWORD kPostRetryMs = 100;
constexpr DWORD kHostWaitMs = 60000;
constexpr char kHostNameFragment[] = "kvhost";

typedef BOOL(WINAPI* ThreadWalkProc)(HANDLE, THREADENTRY32*);

// Whether the executable name, lower-cased, contains "kvhost". The name is read no further than its
// field, terminated or not.
bool IsHostName(const char (&exeFile)[MAX_PATH]) {
    const size_t fragmentLength = sizeof kHostNameFragment - 1;
    size_t length = 0;
    while (length < MAX_PATH && exeFile[length]) ++length;
    for (size_t start = 0; start + fragmentLength <= length; ++start) {
        size_t i = 0;
        while (i < fragmentLength && FoldAsciiCase(exeFile[start + i]) == FoldAsciiCase(kHostNameFragment[i])) ++i;
        if (i == fragmentLength) return true;
    }
    return false;
}

// What the handles of one run are held in, outside the guarded part so that they are closed whatever
// ends it.
struct CHostStopHandles {
    CFileHandle processes;
    CKernelHandle host;
    CFileHandle threads;
};

// Steps 2 to 4; raises what fails.
int StopHostWith(const CProcessWalk& processes, ThreadWalkProc threadFirst, ThreadWalkProc threadNext,
                 CHostStopHandles& handles) {
    DWORD hostId = 0;
    const bool found = FindHostProcess(processes, handles.processes, &hostId);
    handles.processes.Close();
    if (!found) return TRUE;

    handles.host.Reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, hostId));
    if (!handles.host) RaiseLastError();
    handles.threads.Reset(processes.createSnapshot(TH32CS_SNAPTHREAD, 0));
    if (!handles.threads) RaiseLastError();
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof thread;
    if (threadFirst(handles.threads, &thread)) {
        do {
            if (thread.th32OwnerProcessID != hostId) continue;
            for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
                if (PostThreadMessageA(thread.th32ThreadID, WM_QUIT, 0, 0)) break;
                Sleep(kPostRetryMs);
            }
        } while (threadNext(handles.threads, &thread));
    }
    if (WaitForSingleObject(handles.host, kHostWaitMs) != WAIT_OBJECT_0) return TerminateProcess(handles.host, 0);
    return TRUE;
}

}  // namespace

bool LoadProcessWalk(CLibrary& kernel, CProcessWalk* walk) {
    kernel.Reset(LoadLibraryA("kernel32.dll"));
    if (!kernel) return false;
    walk->createSnapshot = GetProcAddressAs<CreateSnapshotProc>(kernel, "CreateToolhelp32Snapshot");
    walk->first = GetProcAddressAs<ProcessWalkProc>(kernel, "Process32First");
    walk->next = GetProcAddressAs<ProcessWalkProc>(kernel, "Process32Next");
    return walk->createSnapshot && walk->first && walk->next;
}

bool FindHostProcess(const CProcessWalk& walk, CFileHandle& snapshot, DWORD* hostId) {
    snapshot.Reset(walk.createSnapshot(TH32CS_SNAPALL, 0));
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process;
    if (!snapshot || !walk.first(snapshot, &process)) return false;
    do {
        if (IsHostName(process.szExeFile)) {
            *hostId = process.th32ProcessID;
            return true;
        }
    } while (walk.next(snapshot, &process));
    return false;
}

int RunStopHost() {
    CLibrary kernel;
    CHostStopHandles handles;
    int result = 0;
    const bool returned = CallGuarded([&kernel, &handles, &result] {
        try {
            CProcessWalk processes = {};
            if (!LoadProcessWalk(kernel, &processes)) return;
            const auto threadFirst = GetProcAddressAs<ThreadWalkProc>(kernel, "Thread32First");
            const auto threadNext = GetProcAddressAs<ThreadWalkProc>(kernel, "Thread32Next");
            if (!threadFirst || !threadNext) return;
            result = StopHostWith(processes, threadFirst, threadNext, handles);
        } catch (...) {
            result = 0;
        }
    });
    return returned ? result : 0;
}

int StopHost(const char*) { return RunStopHost(); }
