// The private-space companion's files: CleanUpPS and ClearPrivateSpace.
#include "kvisinst/cleanup/privatespace.h"

#include "kvisinst/cleanup/dlllist.h"
#include "kvisinst/cleanup/productfiles.h"
#include "kvisinst/cleanup/replace.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/text.h"
#include "kvisinst/exports.h"
#include "kvisinst/trace/trace.h"

#include <cstring>

namespace {

constexpr char kUninstallEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillex Private Space";
constexpr char kUninstallValue[] = "UninstallString";
constexpr char kLogMarker[] = "-f";

// Drive + directory of `logPath` + the authentication library into `path`; false when the log path
// has no directory or the result does not fit.
bool AuthLibraryPath(const char* logPath, CFixedText<MAX_PATH>& path) {
    const char* const directory = logPath[0] && logPath[1] == ':' ? logPath + 2 : logPath;
    const char* end = nullptr;  // just past the directory's last separator
    for (const char* c = directory; *c; ++c)
        if (*c == '\\' || *c == '/') end = c + 1;
    if (!end) return false;
    return path.Append(logPath, static_cast<unsigned>(end - logPath)) && path.Append(kPrivateSpaceAuthLibrary);
}

}  // namespace

int RunCleanUpPS(const char* directory) {
    try {
        TraceScope scope("CleanUpPS");
        const int firstLength = static_cast<int>(std::strcspn(kPrivateSpaceList, " "));
        TraceMessage(scope, nullptr, "Removing %.*s from %s", firstLength, kPrivateSpaceList, directory);
        CDllList list(kPrivateSpaceList, nullptr);
        list.ProcessDLLs(directory);
    } catch (...) {
        // Only the trace raises (out of memory while loading its settings); the result stays 1.
    }
    return 1;
}

int WINAPI CleanUpPS(char* directory) { return RunCleanUpPS(directory); }

void ClearPrivateSpace() {
    try {
        TraceScope scope("ClearPrivateSpace");
        CRegKey entry;
        if (entry.Open(HKEY_LOCAL_MACHINE, kUninstallEntry, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
        char command[MAX_PATH];
        DWORD size = sizeof command;
        if (RegQueryValueExA(entry, kUninstallValue, nullptr, nullptr, reinterpret_cast<BYTE*>(command), &size) !=
            ERROR_SUCCESS)
            return;
        command[size < sizeof command ? size : sizeof command - 1] = '\0';
        const char* logPath = std::strstr(command, kLogMarker);
        if (!logPath) return;
        logPath += sizeof kLogMarker - 1;
        if (*logPath == '"') ++logPath;
        CFixedText<MAX_PATH> path;
        if (!AuthLibraryPath(logPath, path)) return;
        // The trace shows the path as its wide form would print: the same text.
        TraceMessage(scope, nullptr, "path:%s", path.c_str());
        ReplaceFileOnReboot(path.c_str(), nullptr);
    } catch (...) {
        // Only the trace raises (out of memory while loading its settings); nothing to report.
    }
}
