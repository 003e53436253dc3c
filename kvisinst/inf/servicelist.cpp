#include "kvisinst/inf/servicelist.h"

#include "kvisinst/common/handle.h"

#include "kvisinst/inf/platform.h"
#include "kvisinst/inf/service.h"

namespace {

const char kInstallList[] = "InstallDevices";
const char kUninstallList[] = "UnInstallDevices";

// The list that removal walks: "UnInstallDevices" when the INF has it, in its platform form or plain.
const char* RemovalList(HINF inf) {
    char resolved[kSectionNameSize];
    GetPlatformSection(inf, kUninstallList, resolved);
    return SetupGetLineCountA(inf, resolved) != -1 ? kUninstallList : kInstallList;
}

// Runs `actions` on each service section the list names, top to bottom, and keeps the last result.
template <size_t N>
LONG WalkList(HINF inf, const char* list, const tagSERVICE_CONTROL (&actions)[N]) {
    char resolved[kSectionNameSize];
    GetPlatformSection(inf, list, resolved);
    LONG result = S_OK;
    INFCONTEXT line;
    if (!SetupFindFirstLineA(inf, resolved, nullptr, &line)) return result;
    do {
        char section[kSectionNameSize];
        if (!SetupGetLineTextA(&line, nullptr, nullptr, nullptr, section, kSectionNameSize, nullptr)) continue;
        // Windows 95/98 have no services; asked per line, as the system may answer differently.
        const int os = GetOsClass();
        if (os == OS_WIN95 || os == OS_WIN98) continue;
        for (const auto action : actions) result = ControlService(inf, section, action);
    } while (SetupFindNextLine(&line, &line));
    return result;
}

// Opens the INF at `path` for one walk; closed when the walk is done.
CInfHandle OpenInf(LPCSTR path) {
    return CInfHandle(path ? SetupOpenInfFileA(path, nullptr, INF_STYLE_WIN4, nullptr) : INVALID_HANDLE_VALUE);
}

}  // namespace

LONG InstallDrivers(void* inf, int install, const char* section) {
    static const tagSERVICE_CONTROL kInstall[] = {SVC_CREATE, SVC_START};
    static const tagSERVICE_CONTROL kRemove[] = {SVC_STOP, SVC_DELETE};
    if (install) return WalkList(inf, section ? section : kInstallList, kInstall);
    return WalkList(inf, section ? section : RemovalList(inf), kRemove);
}

LONG StopServices(void* inf, int stop, const char* section) {
    static const tagSERVICE_CONTROL kStop[] = {SVC_STOP};
    static const tagSERVICE_CONTROL kStart[] = {SVC_START};
    if (stop) return WalkList(inf, section ? section : RemovalList(inf), kStop);
    return WalkList(inf, section ? section : kInstallList, kStart);
}

LONG WINAPI SetupInstallDrivers(LPCSTR infPath) {
    const CInfHandle inf = OpenInf(infPath);
    return inf ? InstallDrivers(inf, 1, nullptr) : E_INVALIDARG;
}

LONG WINAPI SetupUnInstallDrivers(LPCSTR infPath) {
    const CInfHandle inf = OpenInf(infPath);
    return inf ? InstallDrivers(inf, 0, nullptr) : E_INVALIDARG;
}

LONG WINAPI SetupStopServices(LPCSTR infPath) {
    const CInfHandle inf = OpenInf(infPath);
    return inf ? StopServices(inf, 1, nullptr) : E_INVALIDARG;
}
