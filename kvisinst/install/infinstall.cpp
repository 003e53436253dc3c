// The INF installation sequence: preparation, up to three sections with the default file-queue
// callback, runonce, services and shortcuts.
#include "kvisinst/install/infinstall.h"

#include "kvisinst/cleanup/cleanup.h"
#include "kvisinst/cleanup/hoststop.h"
#include "kvisinst/common/error.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/product.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"
#include "kvisinst/inf/platform.h"
#include "kvisinst/logon/logon.h"

namespace {

constexpr char kDefaultSection[] = "DefaultInstall";
constexpr UINT kSectionParts = SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES;
constexpr UINT kCopyStyle = SP_COPY_NEWER | SP_COPY_IN_USE_NEEDS_REBOOT | SP_COPY_NOSKIP | SP_COPY_FORCE_NEWER;
constexpr DWORD kHostExitWaitMs = 20000;
constexpr DWORD kRunOnceWaitMs = 180000;
constexpr DWORD kRunOnceNotStarted = ERROR_FILE_NOT_FOUND;
constexpr int kHostPolls = 20;
constexpr DWORD kHostPollMs = 1000;

struct TermDefaultQueueCallbackCall {
    void operator()(PVOID context) const { SetupTermDefaultQueueCallback(context); }
};
using CDefaultQueueContext = CUniqueHandle<PVOID, TermDefaultQueueCallbackCall>;

// Makes a directory current for the object's lifetime and the one it found current again at its end.
class CCurrentDirectoryChange {
public:
    explicit CCurrentDirectoryChange(const char* directory) {
        const DWORD length = GetCurrentDirectoryA(sizeof saved_, saved_);
        if (length == 0 || length >= sizeof saved_) {
            saved_[0] = '\0';
            return;
        }
        SetCurrentDirectoryA(directory);
    }
    ~CCurrentDirectoryChange() {
        if (saved_[0]) SetCurrentDirectoryA(saved_);
    }
    CCurrentDirectoryChange(const CCurrentDirectoryChange&) = delete;
    CCurrentDirectoryChange& operator=(const CCurrentDirectoryChange&) = delete;

private:
    char saved_[MAX_PATH] = {};
};

// Step 1: the source directory into `root` and the INF's path into `infPath`; false when either does
// not fit.
bool MakePaths(const char* inf, const char* sourceDir, CFixedText<MAX_PATH>& root, CFixedText<MAX_PATH>& infPath) {
    if (!inf) return false;
    if (sourceDir) {
        if (!root.Append(sourceDir)) return false;
        if (root.size() && root.c_str()[root.size() - 1] != '\\' && !root.Append("\\")) return false;
    } else {
        char program[MAX_PATH + 1] = {};
        const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
        unsigned cut = 0;
        for (unsigned i = 0; i < length && program[i]; ++i)
            if (program[i] == '\\') cut = i + 1;
        root.Append(program, cut);
    }
    return infPath.Append(root.c_str()) && infPath.Append(inf);
}

BOOL InstallSection(HINF inf, const char* base, const char* sourceRoot, QueueCallbackContext* context) {
    char section[kSectionNameSize];
    GetPlatformSection(inf, base, section);
    return SetupInstallFromInfSectionA(nullptr, inf, section, kSectionParts, nullptr, sourceRoot, kCopyStyle,
                                       QueueCallback, context, nullptr, nullptr);
}

// Step 7: 0 when runonce ran (or still runs after the wait), else the code that says it did not start.
DWORD RunRunOnce() {
    char commandLine[] = "runonce";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &started))
        return kRunOnceNotStarted;
    const CKernelHandle process(started.hProcess);
    const CKernelHandle thread(started.hThread);
    WaitForSingleObject(process, kRunOnceWaitMs);
    return 0;
}

LONG RunInstallFromINF(char* infName, int install, const char* sourceDir, const char* section, const char* preSection,
                       const char* postSection) {
    CFixedText<MAX_PATH> root;
    CFixedText<MAX_PATH> infPath;
    if (!MakePaths(infName, sourceDir, root, infPath)) return E_INVALIDARG;

    const CCurrentDirectoryChange directory(root.c_str());
    const CInfHandle inf(SetupOpenInfFileA(infPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr));
    if (!inf) return E_INVALIDARG;

    if (install) {
        StopServices(inf, 1, nullptr);
        WaitForHostExit(kHostExitWaitMs);
        if (UnregSystemStuffQuiet() == 0) RunCleanUp(kThisEdition);
        RemoveDevices();
    } else {
        InstallDrivers(inf, 0, nullptr);
    }

    QueueCallbackContext context = {SetupInitDefaultQueueCallbackEx(nullptr, nullptr, 0, 0, nullptr), 0};
    const CDefaultQueueContext defaultContext(context.defaultContext);
    if (!defaultContext) return E_OUTOFMEMORY;

    if (preSection) InstallSection(inf, preSection, root.c_str(), &context);
    InstallSection(inf, section ? section : kDefaultSection, root.c_str(), &context);
    DWORD error = RunRunOnce();
    if (postSection && !InstallSection(inf, postSection, root.c_str(), &context)) {
        // Its last error replaces runonce's code; a failure that left none still fails the call.
        error = GetLastError();
        if (!error) error = ERROR_INVALID_FUNCTION;
    }
    if (install) InstallDrivers(inf, 1, nullptr);
    InstallShortcuts(inf, install, nullptr);
    if (error) return E_UNEXPECTED;
    return context.delayed ? 1 : 0;
}

}  // namespace

UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    QueueCallbackContext* const queue = static_cast<QueueCallbackContext*>(context);
    if (notification == SPFILENOTIFY_FILEOPDELAYED) queue->delayed = 1;
    return SetupDefaultQueueCallbackA(queue->defaultContext, notification, param1, param2);
}

DWORD WaitForHostExit(DWORD timeoutMs) {
    if (GetOsClass() != OS_WIN2000) return 0;
    CLibrary kernel;
    CProcessWalk walk = {};
    if (!LoadProcessWalk(kernel, &walk)) return 0;
    CFileHandle snapshot;
    DWORD hostId = 0;
    DWORD result = 0;
    if (FindHostProcess(walk, snapshot, &hostId)) {
        const CKernelHandle host(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, hostId));
        result = host ? WaitForSingleObject(host, timeoutMs) : WAIT_FAILED;
    }
    for (int poll = 0; poll < kHostPolls && FindHostProcess(walk, snapshot, &hostId); ++poll) Sleep(kHostPollMs);
    snapshot.Close();
    kernel.Close();
    Sleep(kHostPollMs);
    return result;
}

LONG InstallFromINF(char* inf, int install, char* sourceDir, char* section, char* preSection, char* postSection) {
    return HResultBoundary(
        [&]() -> HRESULT { return RunInstallFromINF(inf, install, sourceDir, section, preSection, postSection); });
}
