// The service exports of KVISINST.DLL against the real service control manager, with a real
// own-process service (kvtestsvc.exe, built beside the test programs), and INF files read by the
// system's SetupAPI.
//
// Wine's service control manager lets a service stop while services that depend on it run and lists
// no dependents, so the path that stops the dependents first is not taken here; the host tests prove
// it on the simulated machine. The prefix must run one service control manager only (see
// run-wine-tests.sh).
#include "shared/service_sections.h"
#include "windows/temp_inf.h"
#include "windows/win_testing.h"

namespace {

using PathExport = LONG(WINAPI*)(LPCSTR);
using ControlServiceExport = LONG (*)(void*, const char*, int);

// Service names of this run, so that nothing another program left in the prefix is in the way.
std::string UniqueName(const char* base) { return base + std::to_string(GetCurrentProcessId()); }

// A service opened with `access`, and its manager; null handles when there is no such service.
struct CService {
    CService(const std::string& name, DWORD access)
        : manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)),
          service(manager ? OpenServiceA(manager, name.c_str(), access) : nullptr) {}
    ~CService() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
    SC_HANDLE manager, service;
};

// The service's state as the service control manager reports it; 0 when there is no such service.
DWORD StateOf(const std::string& name) {
    CService service(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    return service.service && QueryServiceStatus(service.service, &status) ? status.dwCurrentState : 0;
}

// Waits (for real: this is a real service) until the service reaches `state` (0: is gone).
bool WaitForState(const std::string& name, DWORD state) {
    for (int i = 0; i < 150; ++i, Sleep(100))
        if (StateOf(name) == state) return true;
    return false;
}

class Services : public ::testing::Test {
protected:
    void TearDown() override {
        // Stops and deletes whatever a failed test left behind.
        for (const auto& name : created_) {
            CService service(name, SERVICE_ALL_ACCESS);
            SERVICE_STATUS status = {};
            if (!service.service) continue;
            ControlService(service.service, SERVICE_CONTROL_STOP, &status);
            DeleteService(service.service);
        }
    }

    CKvisinst library_;
    const PathExport install_ = library_.Export<PathExport>("SetupInstallDrivers");
    const PathExport uninstall_ = library_.Export<PathExport>("SetupUnInstallDrivers");
    const PathExport stop_ = library_.Export<PathExport>("SetupStopServices");
#ifdef _WIN64
    const ControlServiceExport control_ =
        library_.Export<ControlServiceExport>("?ControlService@@YAJPEAXPEBDW4tagSERVICE_CONTROL@@@Z");
#else
    const ControlServiceExport control_ =
        library_.Export<ControlServiceExport>("?ControlService@@YAJPAXPBDW4tagSERVICE_CONTROL@@@Z");
#endif
    std::vector<std::string> created_;
};

TEST_F(Services, InstallStopAndRemoveAServiceAndItsDependent) {
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
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
    const struct {
        PathExport call;
        DWORD state;  // of both services afterwards; 0: gone
    } stages[] = {{install_, SERVICE_RUNNING}, {stop_, SERVICE_STOPPED}, {uninstall_, 0}};
    for (const auto& stage : stages) {
        EXPECT_EQ(stage.call(inf.Path()), 0);
        for (const std::string& name : {first, second}) EXPECT_TRUE(WaitForState(name, stage.state)) << name;
    }
}

TEST_F(Services, SectionsCreateTheServicesTheyDescribe) {
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
    for (size_t i = 0; i < sizeof kServiceSections / sizeof kServiceSections[0]; ++i) {
        const ServiceSectionRow& row = kServiceSections[i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        const std::string name = UniqueName("KvTestSection") + "_" + std::to_string(i);
        created_.push_back(name);
        CTempInf file("[Svc]\r\nServiceName=" + name + "\r\nBinaryName=" + image + "\r\n" + row.lines + "\r\n");
        EXPECT_EQ(control_(file.Handle(), "Svc", 2), 0);
        CService service(name, SERVICE_QUERY_CONFIG);
        std::vector<char> buffer(8192);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        DWORD needed = 0;
        ASSERT_TRUE(service.service && QueryServiceConfigA(service.service, config, 8192, &needed));
        EXPECT_EQ(config->dwServiceType, row.type);
        EXPECT_EQ(config->dwStartType, row.startType);
        EXPECT_STREQ(config->lpDisplayName, row.display ? row.display : name.c_str());
        EXPECT_EQ(control_(file.Handle(), "Svc", 3), 0);
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
