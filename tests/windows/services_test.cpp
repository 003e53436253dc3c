// The service exports of KVISINST.DLL against the real service control manager, with a real
// own-process service (kvtestsvc.exe, built beside the test programs).
//
// Wine's service control manager lets a service stop while services that depend on it run (no
// ERROR_DEPENDENT_SERVICES_RUNNING) and lists no dependents, so the path that stops the dependents
// first is not taken here; the host tests prove it on the simulated machine.
//
// The prefix must run one service control manager only: run-wine-tests.sh restarts it after creating
// it, because creation can leave two running, and then services created through one are missing in
// the other.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum ServiceAction { kStart = 0, kStop = 1, kCreate = 2, kDelete = 3 };

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

// A file in the temporary folder, deleted with the object.
class CTempFile {
public:
    CTempFile(const std::string& text) {
        char folder[MAX_PATH] = {};
        if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "kvs", 0, path_)) {
            ADD_FAILURE() << "no temporary file, error " << GetLastError();
            return;
        }
        HANDLE file = CreateFileA(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE ||
            !WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            ADD_FAILURE() << "cannot write " << path_ << ", error " << GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    ~CTempFile() {
        if (path_[0]) DeleteFileA(path_);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    const char* Path() const { return path_; }

private:
    char path_[MAX_PATH] = {};
};

// The service's state as the service control manager reports it; 0 when it cannot be opened, and
// the open's error through `error`.
DWORD StateOf(const std::string& name, DWORD* error = nullptr) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return 0;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    DWORD state = 0;
    if (!service) {
        if (error) *error = GetLastError();
    } else {
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service, &status)) state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

// Waits (for real: this is a real service) until the service reaches `state`.
bool WaitForState(const std::string& name, DWORD state) {
    for (int i = 0; i < 150; ++i) {
        if (StateOf(name) == state) return true;
        Sleep(100);
    }
    return false;
}

bool ServiceGone(const std::string& name) {
    for (int i = 0; i < 150; ++i) {
        DWORD error = 0;
        if (StateOf(name, &error) == 0 && error == ERROR_SERVICE_DOES_NOT_EXIST) return true;
        Sleep(100);
    }
    return false;
}

DWORD ConfiguredType(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return 0;
    DWORD type = 0;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    if (!service) ADD_FAILURE() << "OpenServiceA(" << name << ") failed, error " << GetLastError();
    if (service) {
        std::vector<char> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed))
            type = config->dwServiceType;
        else
            ADD_FAILURE() << "QueryServiceConfigA(" << name << ") failed, error " << GetLastError();
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return type;
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
        control_ = Export<ControlServiceExport>("?ControlService@@YAJPEAXPEBDW4tagSERVICE_CONTROL@@@Z");
    }
    void TearDown() override {
        for (const auto& name : created_) RemoveService(name);
        if (module_) FreeLibrary(module_);
    }

    template <typename T>
    T Export(const char* name) {
        auto address = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
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
    CTempFile inf("[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n"
                  "[InstallDevices]\r\nFirstService\r\nSecondService\r\n\r\n"
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
    EXPECT_TRUE(ServiceGone(first)) << first;
    EXPECT_TRUE(ServiceGone(second)) << second;
}

TEST_F(Services, RemovalDeletesServicesThatAreNotRunning) {
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
    const std::string first = UniqueName("KvTestIdleFirst"), second = UniqueName("KvTestIdleSecond");
    created_ = {second, first};
    CTempFile file("[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n"
                   "[InstallDevices]\r\nA\r\nB\r\n\r\n"
                   "[A]\r\nServiceName=" + first + "\r\nBinaryName=" + image +
                   "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nStartType=SERVICE_DEMAND_START\r\n\r\n"
                   "[B]\r\nServiceName=" + second + "\r\nBinaryName=" + image +
                   "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nStartType=SERVICE_DEMAND_START\r\n"
                   "Dependencies=" + first + "\r\n");
    HINF inf = SetupOpenInfFileA(file.Path(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_EQ(control_(inf, "A", kCreate), 0);
    EXPECT_EQ(control_(inf, "B", kCreate), 0);
    SetupCloseInfFile(inf);
    // Stopping what does not run succeeds, and so the removal's result is the last deletion's.
    EXPECT_EQ(stop_(file.Path()), 0);
    EXPECT_EQ(uninstall_(file.Path()), 0);
    EXPECT_TRUE(ServiceGone(first)) << first;
    EXPECT_TRUE(ServiceGone(second)) << second;
}

TEST_F(Services, AnInfThatCannotBeOpenedIsAnInvalidArgument) {
    const char missing[] = "C:\\no such folder\\kvisinst-missing.inf";
    EXPECT_EQ(static_cast<DWORD>(install_(missing)), 0x80070057u);
    EXPECT_EQ(static_cast<DWORD>(uninstall_(missing)), 0x80070057u);
    EXPECT_EQ(static_cast<DWORD>(stop_(missing)), 0x80070057u);
}

TEST_F(Services, CreatedTypesInTheRealServiceManager) {
    struct Row {
        const char* base;
        const char* lines;
        DWORD type;
    };
    const Row rows[] = {
        {"KvTestInteractive", "ServiceType=SERVICE_WIN32_OWN_PROCESS\r\nInteractive=yes\r\n", 0x110},
        {"KvTestDriverInteractive", "ServiceType=SERVICE_KERNEL_DRIVER\r\nInteractive=YES\r\n", 0x1},
        {"KvTestLowerCaseType", "ServiceType=service_win32_own_process\r\n", 0x1},
        {"KvTestShared", "ServiceType=SERVICE_WIN32_SHARE_PROCESS\r\nInteractive=no\r\n", 0x20},
    };
    const std::string image = ProgramFolder() + "kvtestsvc.exe";
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const std::string name = UniqueName(rows[i].base);
        created_.push_back(name);
        CTempFile file("[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Svc]\r\nServiceName=" + name +
                       "\r\nBinaryName=" + image + "\r\nStartType=SERVICE_DEMAND_START\r\n" + rows[i].lines);
        HINF inf = SetupOpenInfFileA(file.Path(), nullptr, INF_STYLE_WIN4, nullptr);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << "row " << i;
        EXPECT_EQ(control_(inf, "Svc", kCreate), 0) << "row " << i;
        EXPECT_EQ(ConfiguredType(name), rows[i].type) << "row " << i;
        // A second creation fails; deletion works, and again on the deleted service.
        EXPECT_EQ(static_cast<DWORD>(control_(inf, "Svc", kCreate)), 0x80004005u) << "row " << i;
        EXPECT_EQ(control_(inf, "Svc", kDelete), 0) << "row " << i;
        EXPECT_EQ(control_(inf, "Svc", kDelete), 0) << "row " << i;
        SetupCloseInfFile(inf);
    }
}

}  // namespace
