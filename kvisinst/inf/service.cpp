#include "kvisinst/inf/service.h"

#include "kvisinst/common/handle.h"
#include "kvisinst/common/text.h"

#include <cstring>

namespace {

struct Keyword {
    const char* text;
    DWORD value;
};

const Keyword kServiceTypes[] = {
    {"SERVICE_KERNEL_DRIVER", SERVICE_KERNEL_DRIVER},
    {"SERVICE_FILE_SYSTEM_DRIVER", SERVICE_FILE_SYSTEM_DRIVER},
    {"SERVICE_WIN32_OWN_PROCESS", SERVICE_WIN32_OWN_PROCESS},
    {"SERVICE_WIN32_SHARE_PROCESS", SERVICE_WIN32_SHARE_PROCESS},
};

const Keyword kStartTypes[] = {
    {"SERVICE_BOOT_START", SERVICE_BOOT_START},     {"SERVICE_SYSTEM_START", SERVICE_SYSTEM_START},
    {"SERVICE_AUTO_START", SERVICE_AUTO_START},     {"SERVICE_DEMAND_START", SERVICE_DEMAND_START},
    {"SERVICE_DISABLED", SERVICE_DISABLED},
};

template <size_t N>
DWORD LookUp(const Keyword (&table)[N], const char* text, DWORD fallback) {
    // The product's INFs spell the keywords as the SDK does; any other spelling is not one.
    for (const auto& k : table)
        if (std::strcmp(k.text, text) == 0) return k.value;
    return fallback;
}

// The text of the first line with `key`, fields joined by commas. False when there is no such line
// or its text does not fit the buffer.
bool ReadKey(HINF inf, LPCSTR section, LPCSTR key, LPSTR value) {
    value[0] = '\0';
    if (SetupGetLineTextA(nullptr, inf, section, key, value, kServiceValueSize, nullptr)) return true;
    value[0] = '\0';
    return false;
}

constexpr int kStopPolls = 100;
constexpr DWORD kStopPollMs = 100;
constexpr DWORD kDependentsBufferSize = 10240;

// Sends the stop request to every running dependent of `service`, in the order the service control
// manager lists them (those started last first), without waiting for any of them.
void StopDependents(SC_HANDLE manager, SC_HANDLE service) {
    alignas(ENUM_SERVICE_STATUSA) unsigned char buffer[kDependentsBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer);
    DWORD needed = 0, count = 0;
    if (!EnumDependentServicesA(service, SERVICE_ACTIVE, entries, kDependentsBufferSize, &needed, &count)) return;
    for (DWORD i = 0; i < count; ++i) {
        CServiceHandle dependent(OpenServiceA(manager, entries[i].lpServiceName, SERVICE_ALL_ACCESS));
        if (!dependent) continue;
        SERVICE_STATUS status;
        ::ControlService(dependent, SERVICE_CONTROL_STOP, &status);
    }
}

LONG RunStop(SC_HANDLE manager, LPCSTR name) {
    CServiceHandle service(OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
    SERVICE_STATUS status;
    std::memset(&status, 0, sizeof status);
    bool requested = false;
    if (service && QueryServiceStatus(service, &status))
        requested = status.dwCurrentState == SERVICE_STOPPED ||
                    ::ControlService(service, SERVICE_CONTROL_STOP, &status);
    if (requested) {
        // A service that takes longer than the ten seconds is left to finish on its own.
        for (int poll = 0; poll < kStopPolls; ++poll) {
            if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED) break;
            Sleep(kStopPollMs);
        }
        return S_OK;
    }
    DWORD error = GetLastError();
    if (error == ERROR_DEPENDENT_SERVICES_RUNNING) {
        StopDependents(manager, service);
        if (::ControlService(service, SERVICE_CONTROL_STOP, &status)) return S_OK;
        error = GetLastError();
    }
    return (error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_SERVICE_DOES_NOT_EXIST) ? S_OK : E_FAIL;
}

LONG RunStart(SC_HANDLE manager, LPCSTR name) {
    CServiceHandle service(OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
    return service && StartServiceA(service, 0, nullptr) ? S_OK : E_FAIL;
}

LONG RunCreate(SC_HANDLE manager, const CServiceSection& s) {
    CServiceHandle service(CreateServiceA(manager, s.name, s.displayName, SERVICE_ALL_ACCESS, s.type, s.startType,
                                          SERVICE_ERROR_NORMAL, s.hasImagePath ? s.imagePath : nullptr, nullptr,
                                          nullptr, s.dependencies, nullptr, nullptr));
    return service ? S_OK : E_FAIL;
}

LONG RunDelete(SC_HANDLE manager, LPCSTR name) {
    CServiceHandle service(OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
    if (service && ::DeleteService(service)) return S_OK;
    const DWORD error = GetLastError();
    return (error == ERROR_SERVICE_MARKED_FOR_DELETE || error == ERROR_SERVICE_DOES_NOT_EXIST) ? S_OK : E_FAIL;
}

}  // namespace

void ServiceNameFromImagePath(LPCSTR imagePath, LPSTR name) {
    const char* start = imagePath;
    const char* end = imagePath + std::strlen(imagePath);
    // A quoted path ends at its closing quote; what follows are the image's arguments.
    if (*start == '"') {
        ++start;
        const char* quote = std::strchr(start, '"');
        if (quote) end = quote;
    }
    for (const char* p = start; p < end; ++p)
        if (*p == '\\' || *p == '/') start = p + 1;
    for (const char* p = end; p > start; --p)
        if (p[-1] == '.') {
            end = p - 1;
            break;
        }
    const size_t length = static_cast<size_t>(end - start);
    const size_t kept = length < kServiceValueSize - 1 ? length : kServiceValueSize - 1;
    std::memcpy(name, start, kept);
    name[kept] = '\0';
}

void ReadServiceSection(HINF inf, LPCSTR section, CServiceSection* out) {
    char value[kServiceValueSize];

    out->hasImagePath = ReadKey(inf, section, "BinaryName", out->imagePath);

    if (!ReadKey(inf, section, "ServiceName", out->name)) ServiceNameFromImagePath(out->imagePath, out->name);

    if (!ReadKey(inf, section, "ServiceDisplayName", out->displayName))
        lstrcpynA(out->displayName, out->name, kServiceValueSize);

    // The list CreateServiceA wants: every blank ends a name, and the NUL after the text ends the
    // list; an absent key gives the empty list.
    ReadKey(inf, section, "Dependencies", out->dependencies);
    const size_t length = std::strlen(out->dependencies);
    for (size_t i = 0; i < length; ++i)
        if (out->dependencies[i] == ' ') out->dependencies[i] = '\0';
    out->dependencies[length + 1] = '\0';

    ReadKey(inf, section, "ServiceType", value);
    out->type = LookUp(kServiceTypes, value, SERVICE_KERNEL_DRIVER);

    ReadKey(inf, section, "StartType", value);
    out->startType = LookUp(kStartTypes, value, SERVICE_AUTO_START);

    // Only a Win32 service can interact with the desktop; the key means nothing to a driver.
    if (ReadKey(inf, section, "Interactive", value) && EqualsNoCase(value, "YES") &&
        (out->type == SERVICE_WIN32_OWN_PROCESS || out->type == SERVICE_WIN32_SHARE_PROCESS))
        out->type |= SERVICE_INTERACTIVE_PROCESS;
}

LONG ControlService(void* inf, const char* section, tagSERVICE_CONTROL action) {
    CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return E_FAIL;

    CServiceSection service;
    ReadServiceSection(inf, section, &service);

    switch (action) {
    case SVC_START: return RunStart(manager, service.name);
    case SVC_STOP: return RunStop(manager, service.name);
    case SVC_CREATE: return RunCreate(manager, service);
    case SVC_DELETE: return RunDelete(manager, service.name);
    }
    return S_OK;
}
