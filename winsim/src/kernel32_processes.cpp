// kernel32: processes of the programs the machine describes (processes.h keeps them).
#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include "files_internal.h"
#include "processes_internal.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace {

using winsim::ProcessRecord;

// Whether a handle with `granted` access may be used for `needed` (the NT family checks; 95/98 do not).
bool Allows(DWORD granted, DWORD needed) {
    return !winsim::IsNtFamily(winsim::Current().Version()) || (granted & needed) == needed;
}

// A process handle, or the handle of its main thread, which ends with it; `access` is what the handle
// was opened for (everything for the handles CreateProcessA returns).
class CProgramObject : public winsim::WaitableObject {
public:
    explicit CProgramObject(std::shared_ptr<ProcessRecord> process, DWORD access = PROCESS_ALL_ACCESS)
        : process_(std::move(process)), access_(access) {}

    DWORD Wait(DWORD milliseconds) override {
        winsim::Processes& processes = winsim::Current().Processes();
        if (!processes.Owns(process_)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (!Allows(access_, SYNCHRONIZE)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return WAIT_FAILED;
        }
        const DWORD result = processes.Wait(process_, milliseconds);
        if (result == WAIT_FAILED) SetLastError(ERROR_POSSIBLE_DEADLOCK);
        return result;
    }

    // Null when the process is not the current machine's.
    const std::shared_ptr<ProcessRecord>* Process() const {
        return winsim::Current().Processes().Owns(process_) ? &process_ : nullptr;
    }
    DWORD Access() const { return access_; }

private:
    std::shared_ptr<ProcessRecord> process_;
    DWORD access_;
};

class CProcessObject final : public CProgramObject {
    using CProgramObject::CProgramObject;
};
class CThreadObject final : public CProgramObject {
    using CProgramObject::CProgramObject;
};

}  // namespace

namespace winsim {

namespace {

bool IsFile(Machine& machine, const std::string& fullPath) {
    std::error_code ec;
    return std::filesystem::is_regular_file(ResolveOn(machine, fullPath).host, ec);
}

bool HasExtension(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return path.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

// The full path of the file a command line's first word names, if it exists.
std::optional<std::string> ResolveProgramWord(Machine& machine, std::string word, const std::string& programFolder) {
    if (!HasExtension(word)) word += ".exe";
    if (word.find_first_of("\\/:") != std::string::npos) {
        auto full = FullWindowsPath(word);
        return full && IsFile(machine, *full) ? full : std::nullopt;
    }
    for (const std::string& folder :
         {programFolder, machine.CurrentDirectory(), machine.SystemDirectory(), machine.WindowsDirectory()}) {
        auto full = FullWindowsPath(folder + "\\" + word);
        if (full && IsFile(machine, *full)) return full;
    }
    return std::nullopt;
}

}  // namespace

// A quoted first word, or else, as Windows reads an unquoted path with blanks, the shortest run of its
// words that names a file.
std::optional<std::string> ProgramOfCommandLine(Machine& machine, const std::string& commandLine,
                                                const std::string& programFolder) {
    size_t start = 0;
    while (start < commandLine.size() && (commandLine[start] == ' ' || commandLine[start] == '\t')) ++start;
    if (start < commandLine.size() && commandLine[start] == '"') {
        const size_t close = commandLine.find('"', start + 1);
        return ResolveProgramWord(
            machine, commandLine.substr(start + 1, close == std::string::npos ? close : close - start - 1),
            programFolder);
    }
    for (size_t end = start; end <= commandLine.size(); ++end) {
        if (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t') continue;
        if (end > start)
            if (auto found = ResolveProgramWord(machine, commandLine.substr(start, end - start), programFolder))
                return found;
    }
    return std::nullopt;
}

}  // namespace winsim

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
    if (!startupInfo || !processInformation || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    winsim::Machine& machine = winsim::Current();
    std::optional<std::string> file;
    if (applicationName) {
        file = winsim::FullWindowsPath(applicationName);
        std::error_code ec;
        if (file && !std::filesystem::is_regular_file(winsim::ResolveOn(machine, *file).host, ec)) file.reset();
    } else {
        const std::string& program = machine.ProgramPath();
        file = winsim::ProgramOfCommandLine(machine, commandLine, program.substr(0, program.find_last_of('\\')));
    }
    if (!file) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    winsim::Processes& processes = machine.Processes();
    auto program = processes.Program(*file);
    if (!program) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    program->path = *file;
    auto process = processes.Start(*program, commandLine ? commandLine : applicationName);
    processInformation->hProcess = winsim::AddHandle(std::make_shared<CProcessObject>(process));
    processInformation->hThread = winsim::AddHandle(std::make_shared<CThreadObject>(process));
    processInformation->dwProcessId = process->id;
    processInformation->dwThreadId = process->threadId;
    return TRUE;
}

namespace {

// The process behind a process handle (the object stays alive while the handle is open), or null with
// ERROR_INVALID_HANDLE for any other handle and ERROR_ACCESS_DENIED for one not opened for `needed`.
const std::shared_ptr<ProcessRecord>* ProcessOfHandle(HANDLE handle, DWORD needed) {
    auto object = winsim::ObjectFromHandle<CProcessObject>(handle);
    const auto* process = object ? object->Process() : nullptr;
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!Allows(object->Access(), needed)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return process;
}

}  // namespace

BOOL GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
    const auto* process = ProcessOfHandle(handle, PROCESS_QUERY_INFORMATION);
    if (!process) return FALSE;
    if (!exitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *exitCode = winsim::Current().Processes().ExitCode(*process);
    return TRUE;
}

BOOL TerminateProcess(HANDLE handle, UINT exitCode) {
    const auto* process = ProcessOfHandle(handle, PROCESS_TERMINATE);
    if (!process) return FALSE;
    if (!winsim::Current().Processes().Terminate(*process, exitCode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

namespace {

// Whether a caller of one account may open a process of another for `access` on the NT family. What
// an ordinary user may always have of another account's process; and what an administrator lacks of
// a LocalSystem process without the debug privilege (no privilege is simulated).
constexpr DWORD kUserMayHave = PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
constexpr DWORD kSystemKeeps = PROCESS_TERMINATE | PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE;

bool MayOpen(winsim::Machine::Account caller, winsim::Machine::Account owner, DWORD access) {
    using Account = winsim::Machine::Account;
    if (caller == owner || caller == Account::LocalSystem) return true;
    if (caller == Account::User) return (access & ~kUserMayHave) == 0;
    return owner != Account::LocalSystem || (access & kSystemKeeps) == 0;
}

}  // namespace

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
    winsim::Machine& machine = winsim::Current();
    auto process = machine.Processes().FindRunning(processId);
    if (!process) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (winsim::IsNtFamily(machine.Version()) && !MayOpen(machine.CallerAccount(), process->account, access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return winsim::AddHandle(std::make_shared<CProcessObject>(process, access));
}
