// The service exports of KVISINST.DLL against the real service control manager, with a real
// own-process service (kvtestsvc.exe, built beside the test programs), and INF files read by the
// system's SetupAPI.
//
// Wine's service control manager lets a service stop while services that depend on it run (no
// ERROR_DEPENDENT_SERVICES_RUNNING) and lists no dependents, so the path that stops the dependents
// first is not taken here; the host tests prove it on the simulated machine.
//
// The prefix must run one service control manager only: run-wine-tests.sh restarts it after creating
// it, because creation can leave two running, and then services created through one are missing in
// the other.
#include "shared/proc.h"
#include "shared/service_sections.h"
#include "windows/temp_inf.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using PathExport = LONG(WINAPI*)(LPCSTR);
using ControlServiceExport = LONG (*)(void*, const char*, int);

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// Service names of this run, so that nothing another program left in the prefix is in the way.
std::string UniqueName(const char* base) { return base + std::to_string(GetCurrentProcessId()); }

// The service's state as the service control manager reports it; 0 when there is no such service.
DWORD StateOf(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status = {};
    if (service && !QueryServiceStatus(service, &status)) status.dwCurrentState = 0;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return status.dwCurrentState;
}

// Waits (for real: this is a real service) until the service reaches `state` (0: is gone).
bool WaitForState(const std::string& name, DWORD state) {
    for (int i = 0; i < 150; ++i, Sleep(100))
        if (StateOf(name) == state) return true;
    return false;
}

struct Configuration {
    DWORD type = 0;
    DWORD startType = 0;
    std::string display;
};

Configuration Configured(const std::string& name) {
    Configuration result;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
    std::vector<char> buffer(8192);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    if (service && QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed))
        result = {config->dwServiceType, config->dwStartType,
                  config->lpDisplayName ? config->lpDisplayName : ""};
    else
        ADD_FAILURE() << "no configuration of " << name << ", error " << GetLastError();
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return result;
}

// Stops and deletes whatever a failed test left behind.
void RemoveService(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status = {};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryA("KVISINST.DLL");
        ASSERT_NE(module_, nullptr) << "error " << GetLastError();
        install_ = Export<PathExport>("SetupInstallDrivers");
        uninstall_ = Export<PathExport>("SetupUnInstallDrivers");
        stop_ = Export<PathExport>("SetupStopServices");
#ifdef _WIN64
        control_ = Export<ControlServiceExport>("?ControlService@@YAJPEAXPEBDW4tagSERVICE_CONTROL@@@Z");
#else
        control_ = Export<ControlServiceExport>("?ControlService@@YAJPAXPBDW4tagSERVICE_CONTROL@@@Z");
#endif
    }
    void TearDown() override {
        for (const auto& name : created_) RemoveService(name);
        if (module_) FreeLibrary(module_);
    }

    template <typename T>
    T Export(const char* name) {
        auto address = ProcAs<T>(GetProcAddress(module_, name));
        EXPECT_NE(address, nullptr) << name;
        return address;
    }

    HMODULE module_ = nullptr;
    PathExport install_ = nullptr;
    PathExport uninstall_ = nullptr;
    PathExport stop_ = nullptr;
    ControlServiceExport control_ = nullptr;
    std::vector<std::string> created_;
};

TEST_F(Services, InstallStopAndRemoveAServiceAndItsDependent) {
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
    ASSERT_NE(GetFileAttributesA(image.c_str()), INVALID_FILE_ATTRIBUTES) << image;
    const std::string first = UniqueName("KvTestFirst"), second = UniqueName("KvTestSecond");
    created_ = {second, first};
    // The list in its Windows 2000 form, found by the system's SetupAPI whatever the letter case; the
    // plain form names a section that does not exist.
    CTempInf inf("[InstallDevices]\r\nNoSuchService\r\n"
                 "[installdevices.NT5X86]\r\nFirstService\r\nSecondService\r\n\r\n"
                 "[FirstService]\r\nServiceName=" + first + "\r\nBinaryName=" + image +
                 "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nStartType=SERVICE_DEMAND_START\r\n\r\n"
                 "[SecondService]\r\nServiceName=" + second + "\r\nBinaryName=" + image +
                 "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nStartType=SERVICE_DEMAND_START\r\n"
                 "Dependencies=" + first + "\r\n");

    EXPECT_EQ(install_(inf.Path()), 0);
    EXPECT_TRUE(WaitForState(first, SERVICE_RUNNING)) << first;
    EXPECT_TRUE(WaitForState(second, SERVICE_RUNNING)) << second;

    EXPECT_EQ(stop_(inf.Path()), 0);
    EXPECT_TRUE(WaitForState(first, SERVICE_STOPPED)) << first;
    EXPECT_TRUE(WaitForState(second, SERVICE_STOPPED)) << second;

    EXPECT_EQ(uninstall_(inf.Path()), 0);
    EXPECT_TRUE(WaitForState(first, 0)) << first;
    EXPECT_TRUE(WaitForState(second, 0)) << second;
}

TEST_F(Services, SectionsCreateTheServicesTheyDescribe) {
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
    for (size_t i = 0; i < sizeof kServiceSections / sizeof kServiceSections[0]; ++i) {
        const ServiceSectionRow& row = kServiceSections[i];
        const std::string name = UniqueName("KvTestSection") + "_" + std::to_string(i);
        created_.push_back(name);
        CTempInf file("[Svc]\r\nServiceName=" + name + "\r\nBinaryName=" + image + "\r\n" + row.lines + "\r\n");
        EXPECT_EQ(control_(file.Handle(), "Svc", 2), 0) << "row " << i;
        const Configuration config = Configured(name);
        EXPECT_EQ(config.type, row.type) << "row " << i;
        EXPECT_EQ(config.startType, row.startType) << "row " << i;
        EXPECT_EQ(config.display, row.display ? row.display : name) << "row " << i;
        EXPECT_EQ(control_(file.Handle(), "Svc", 3), 0) << "row " << i;
    }
}

TEST_F(Services, EachActionsResult) {
    const std::string name = UniqueName("KvTestSteps");
    created_ = {name};
    CTempInf file(ServiceStepsInf(name, ProgramFolder() + "kvtestsvc.exe"));
    for (size_t i = 0; i < sizeof kServiceSteps / sizeof kServiceSteps[0]; ++i) {
        const ServiceStep& step = kServiceSteps[i];
        EXPECT_EQ(static_cast<uint32_t>(control_(file.Handle(), step.section, step.action)), step.result)
            << "step " << i;
    }
    EXPECT_TRUE(WaitForState(name, 0));
}

}  // namespace
