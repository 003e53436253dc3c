// ControlService against a service control manager, as rows that the host tests (the simulated
// manager) and the Windows tests (Wine's) both run: what creation writes for each service section,
// and a run of actions on one service with the result of each.
#pragma once

#include <cstdint>
#include <string>

// Each row's lines follow "ServiceName=" and "BinaryName=" lines in a section of its own.
struct ServiceSectionRow {
    const char* lines;
    const char* display;  // the display name; nullptr: the service name
    uint32_t type;
    uint32_t startType;
};

inline const ServiceSectionRow kServiceSections[] = {
    // Missing keys: a kernel driver, started automatically, shown under its own name.
    {"", nullptr, 0x1, 2},
    {"ServiceDisplayName=Quillex reader\r\n"
     "ServiceType=SERVICE_FILE_SYSTEM_DRIVER\r\nStartType=SERVICE_BOOT_START",
     "Quillex reader", 0x2, 0},
    // Keywords match exactly: in lower case they are unknown.
    {"ServiceType=service_win32_own_process\r\nStartType=service_demand_start", nullptr, 0x1, 2},
    // "Interactive" counts for Win32 services only, and only as "yes" in any letter case.
    {"ServiceType=SERVICE_WIN32_OWN_PROCESS\r\nInteractive=yes\r\nStartType=SERVICE_DEMAND_START",
     nullptr, 0x110, 3},
    {"ServiceType=SERVICE_WIN32_SHARE_PROCESS\r\nInteractive=YeS\r\nStartType=SERVICE_DISABLED",
     nullptr, 0x120, 4},
    {"ServiceType=SERVICE_WIN32_OWN_PROCESS\r\nInteractive=1", nullptr, 0x10, 2},
    {"ServiceType=SERVICE_KERNEL_DRIVER\r\nInteractive=YES\r\nStartType=SERVICE_SYSTEM_START",
     nullptr, 0x1, 1},
};

// The sections of ServiceStepsInf: "Svc", a demand-start own-process service whose image runs, and
// "NoImage", one without "BinaryName". Neither service exists before the first step.
inline std::string ServiceStepsInf(const std::string& name, const std::string& image) {
    return "[Svc]\r\nServiceName=" + name + "\r\nBinaryName=" + image +
           "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nStartType=SERVICE_DEMAND_START\r\n"
           "[NoImage]\r\nServiceName=" + name + "NoImage\r\n";
}

struct ServiceStep {
    const char* section;
    int action;  // 0 start, 1 stop, 2 create, 3 delete
    uint32_t result;
};

constexpr uint32_t kServiceFailed = 0x80004005;

// Run in order on one machine.
inline const ServiceStep kServiceSteps[] = {
    {"Svc", 1, 0},                   // stopping a service that does not exist succeeds,
    {"Svc", 3, 0},                   // and so does deleting it,
    {"Svc", 0, kServiceFailed},      // while starting it fails
    {"NoImage", 2, kServiceFailed},  // without an image nothing is created
    {"NoImage", 3, 0},               // (deleting works by name, as ever)
    {"Svc", 2, 0},
    {"Svc", 2, kServiceFailed},  // it exists already
    {"Svc", 1, 0},               // not running
    {"Svc", 0, 0},
    {"Svc", 0, kServiceFailed},  // already running
    {"Svc", 7, 0},               // an action outside 0 to 3 does nothing
    {"Svc", 1, 0},
    {"Svc", 3, 0},
    {"Svc", 3, 0},  // marked for deletion, or gone
};
