// The service probe: random calls on two services, KvProbeA and KvProbeB (created with every common
// type and start type, opened with several accesses, queried, deleted while handles to them stay
// open, closed), each with what it returned and the error it left. Starting is left to the scenarios:
// Wine starts a service marked for deletion (and fails with 1114) where Windows refuses it
// (ERROR_SERVICE_MARKED_FOR_DELETE), which would make every later line differ.
#include "tools/scenario/probe.h"
#include "tools/scenario/runner.h"

namespace scenario {

namespace {

const char* const kNames[] = {"KvProbeA", "KvProbeB", "kvprobea"};
const char* const kDisplayNames[] = {"Kv Probe A", "Kv Probe B", "Kv Probe Shared", ""};
const DWORD kTypes[] = {SERVICE_WIN32_OWN_PROCESS, SERVICE_WIN32_SHARE_PROCESS, SERVICE_KERNEL_DRIVER};
const DWORD kStarts[] = {SERVICE_DEMAND_START, SERVICE_AUTO_START, SERVICE_DISABLED};
const char* const kPrograms[] = {"C:\\KvProbeMissing\\kvprobe.exe", "\"C:\\Kv Probe Missing\\kvprobe.exe\" -run"};
const DWORD kAccesses[] = {SERVICE_ALL_ACCESS, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, DELETE, SERVICE_START};

std::string Error() { return "error " + std::to_string(GetLastError()); }

std::string Config(SC_HANDLE service) {
    DWORD needed = 0;
    SetLastError(0);
    QueryServiceConfigA(service, nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return "config " + Error();
    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service, config, needed, &needed)) return "config " + Error();
    auto text = [](const char* s) { return Quoted(s ? s : "(null)"); };
    return "config type " + std::to_string(config->dwServiceType) + " start " + std::to_string(config->dwStartType) +
           " error-control " + std::to_string(config->dwErrorControl) + " binary " + text(config->lpBinaryPathName) +
           " display " + text(config->lpDisplayName);
}

std::string Status(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return "status " + Error();
    return "status type " + std::to_string(status.dwServiceType) + " state " + std::to_string(status.dwCurrentState);
}

}  // namespace

void RunServicesProbe(uint64_t seed, unsigned count, std::vector<std::string>* lines) {
    ProbeRandom random(seed);
    const SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        lines->push_back("services: the service manager cannot be opened: " + Error());
        return;
    }
    auto removeAll = [&] {
        for (const char* name : {"KvProbeA", "KvProbeB"})
            if (SC_HANDLE service = OpenServiceA(manager, name, DELETE)) {
                DeleteService(service);
                CloseServiceHandle(service);
            }
    };
    removeAll();
    // Handles kept open across calls, so that a deleted service stays marked until its last is closed.
    std::vector<std::pair<std::string, SC_HANDLE>> kept;
    for (unsigned n = 0; n < count; ++n) {
        // Every choice is drawn whatever the outcome.
        const char* name = random.Pick(kNames);
        const unsigned operation = random.Below(100);
        const char* display = random.Pick(kDisplayNames);
        const DWORD type = random.Pick(kTypes), start = random.Pick(kStarts), access = random.Pick(kAccesses);
        const char* program = random.Pick(kPrograms);
        const unsigned which = random.Below(4);
        const bool keep = random.Chance(40);

        std::string line = "service " + std::to_string(n) + " " + name;
        SetLastError(0);
        SC_HANDLE handle = nullptr;
        if (operation < 25) {
            handle = CreateServiceA(manager, name, *display ? display : nullptr, SERVICE_ALL_ACCESS, type, start,
                                    SERVICE_ERROR_NORMAL, program, nullptr, nullptr, nullptr, nullptr, nullptr);
            line += " create type " + std::to_string(type) + " start " + std::to_string(start) + " display " +
                    Quoted(display) + (handle ? " ok" : " " + Error());
        } else if (operation < 45) {
            handle = OpenServiceA(manager, name, access);
            line += " open access " + Hex32(access) + (handle ? " ok" : " " + Error());
        } else if (kept.empty()) {
            line += " nothing open";
        } else {
            // An operation on one of the kept handles.
            const size_t at = which % kept.size();
            const SC_HANDLE service = kept[at].second;
            line = "service " + std::to_string(n) + " handle of " + kept[at].first;
            if (operation < 60) {
                line += " " + Config(service);
            } else if (operation < 70) {
                line += " " + Status(service);
            } else if (operation < 82) {
                line += " delete " + std::string(DeleteService(service) ? "ok" : Error());
            } else {
                line += " closed " + std::string(CloseServiceHandle(service) ? "ok" : Error());
                kept.erase(kept.begin() + static_cast<long>(at));
            }
        }
        if (handle && keep && kept.size() < 3)
            kept.emplace_back(name, handle);
        else if (handle)
            CloseServiceHandle(handle);
        lines->push_back(line);
    }
    for (const auto& held : kept) CloseServiceHandle(held.second);
    removeAll();
    CloseServiceHandle(manager);
}

}  // namespace scenario
