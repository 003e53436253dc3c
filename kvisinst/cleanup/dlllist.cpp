#include "kvisinst/cleanup/dlllist.h"

#include "kvisinst/cleanup/listsyntax.h"
#include "kvisinst/cleanup/replace.h"
#include "kvisinst/common/error.h"
#include "kvisinst/common/format.h"
#include "kvisinst/common/guarded.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/trace/trace.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kUnregisterWaitMs = 10000;

typedef HRESULT(WINAPI* DllUnregisterServerProc)();

// Starts `application` with `commandLine` and waits for it a bounded time; the handles are closed,
// the process is not ended.
void RunAndWait(LPCSTR application, char* commandLine) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    const CKernelHandle processHandle(process.hProcess);
    const CKernelHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle, kUnregisterWaitMs);
}

}  // namespace

CDllList::CDllList(LPCSTR text, HWND window) : result_(S_OK), list_(nullptr), window_(window) {
    if (!text || !*text) return;
    const size_t length = std::strlen(text);
    list_ = static_cast<char*>(std::malloc(length + 2));
    if (!list_) {
        SetResult(WM_CLEANUP_RESULT, E_OUTOFMEMORY);
        return;
    }
    std::memcpy(list_, text, length + 1);
    ParseList();
}

CDllList::~CDllList() { std::free(list_); }

void CDllList::ParseList() {
    if (list_ && !ParseFileList(list_)) SetResult(WM_CLEANUP_RESULT, E_INVALIDARG);
}

void CDllList::SetResult(UINT message, HRESULT hr) {
    result_ = hr;
    Post(message, hr);
}

void CDllList::Post(UINT message, HRESULT hr) {
    if (window_) PostMessageA(window_, message, static_cast<WPARAM>(hr), 0);
}

HRESULT CDllList::ProcessDLLs(LPCSTR directory) {
    if (FAILED(result_)) return result_;
    try {
        TraceScope scope("ProcessDLLs");
        HRESULT hr = S_OK;
        // The guarded callable catches the library's own exceptions itself; a false return is a
        // structured exception (a fault in a window's handler, say) that cut the walk short.
        const bool returned = CallGuarded([this, &scope, directory, &hr] {
            try {
                Walk(scope, directory);
            } catch (const CWin32Error& error) {
                hr = error.Result();
            } catch (...) {
                hr = E_UNEXPECTED;
            }
        });
        result_ = returned ? hr : E_UNEXPECTED;
        TraceError(scope, "", result_, nullptr);
    } catch (const CWin32Error& error) {
        result_ = error.Result();
    } catch (...) {
        result_ = E_UNEXPECTED;
    }
    Post(WM_CLEANUP_RESULT, result_);
    return result_;
}

void CDllList::Walk(const TraceScope& scope, LPCSTR directory) {
    if (!list_) return;
    for (const char* entry = list_; *entry && result_ == S_OK; entry = NextFileListEntry(entry)) {
        bool remove = true;
        bool unregister = true;
        const char* const name = SkipFileListPrefixes(entry, &remove, &unregister);
        TraceMessage(scope, nullptr, "pDLLs=%s, ps=%s, bRemove=%d, bUnregister=%d", entry, name, remove ? 1 : 0,
                     unregister ? 1 : 0);
        char path[MAX_PATH];
        if (!JoinFileListPath(path, sizeof path, directory, name)) {
            TraceMessage(scope, nullptr, "%s\\%s is longer than MAX_PATH - 1 characters: not processed", directory,
                         name);
            continue;
        }
        if (window_) SendMessageA(window_, WM_CLEANUP_PROGRESS, 0, reinterpret_cast<LPARAM>(path));
        if (unregister) {
            const char* extension = std::strrchr(path, '.');
            if (!extension) extension = path;
            if (lstrcmpiA(extension, ".EXE") == 0)
                UnregisterExe(path);
            else if (lstrcmpiA(extension, ".TLB") == 0)
                UnregisterTypeLib(path);
            else
                UnregisterDll(path);
        }
        if (remove) ReplaceFileOnReboot(path, nullptr);
    }
}

HRESULT CDllList::ProcessSystemDLLs() {
    if (FAILED(result_)) return result_;
    char directory[MAX_PATH];
    if (!GetSystemDirectoryA(directory, MAX_PATH)) {
        const DWORD error = GetLastError();
        result_ = error ? HResultFromStatus(static_cast<LONG>(error)) : S_OK;
    } else {
        result_ = ProcessDLLs(directory);
    }
    Post(WM_CLEANUP_RESULT, result_);
    return result_;
}

void UnregisterDll(LPCSTR path) {
    const CLibrary library(LoadLibraryA(path));
    if (!library) return;
    const auto unregisterServer = GetProcAddressAs<DllUnregisterServerProc>(library, "DllUnregisterServer");
    // Foreign code: whatever it raises, or a fault inside it, ends only this call.
    if (unregisterServer) CallGuarded([unregisterServer] { unregisterServer(); });
}

void UnregisterExe(LPCSTR path) {
    char commandLine[] = "/UnRegServer";
    RunAndWait(path, commandLine);
}

void UnregisterTypeLib(LPCSTR path) {
    char application[MAX_PATH];
    const UINT length = GetSystemDirectoryA(application, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const char* const separator = application[length - 1] == '\\' ? "" : "\\";
    char commandLine[MAX_PATH + 4];
    if (FormatText(application + length, MAX_PATH - length, "%sregtlib.exe", separator) &&
        FormatText(commandLine, sizeof commandLine, "/u %s", path))
        RunAndWait(application, commandLine);
}
