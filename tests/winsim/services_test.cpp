// winsim's service control manager: the Win32 calls' errors as Windows gives them, dependents in
// reverse start order, starting what a service depends on, and the machine folder's text form.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/services.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

winsim::ServiceConfig Win32Service(const std::string& name, std::vector<std::string> dependencies = {}) {
    winsim::ServiceConfig c;
    c.name = name;
    c.type = SERVICE_WIN32_OWN_PROCESS;
    c.imagePath = "C:\\x\\" + name + ".exe";
    c.dependencies = std::move(dependencies);
    c.account = "LocalSystem";
    return c;
}

class Scm : public ::testing::Test {
protected:
    void SetUp() override {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager_);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        EXPECT_EQ(0u, winsim::OpenServiceHandleCount());
    }
    SC_HANDLE Create(const char* name, DWORD type, DWORD start, const char* image, const char* deps = nullptr,
                     const char* display = nullptr) {
        return CreateServiceA(manager_, name, display, SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL, image,
                              nullptr, nullptr, deps, nullptr, nullptr);
    }

    winsim::ScopedMachine machine_{OsVersion::Win2000};
    SC_HANDLE manager_ = nullptr;
};

}  // namespace

TEST_F(Scm, CreateRefusesWhatWindowsRefuses) {
    SC_HANDLE first = Create("QxUsb", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "qxusb.sys", nullptr, "Reader");
    ASSERT_NE(nullptr, first);
    CloseServiceHandle(first);
    struct Row {
        const char* name;
        DWORD type;
        DWORD start;
        const char* image;
        const char* deps;
        const char* display;
        DWORD error;
    };
    const Row rows[] = {
        {"qxusb", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x.sys", nullptr, nullptr, ERROR_SERVICE_EXISTS},
        {"Other", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x.sys", nullptr, "reader", ERROR_DUPLICATE_SERVICE_NAME},
        {"Other", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x.sys", nullptr, "QXUSB", ERROR_DUPLICATE_SERVICE_NAME},
        {"a\\b", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x.sys", nullptr, nullptr, ERROR_INVALID_NAME},
        {"", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x.sys", nullptr, nullptr, ERROR_INVALID_NAME},
        {"Other", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, nullptr, nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"Other", SERVICE_KERNEL_DRIVER | SERVICE_INTERACTIVE_PROCESS, SERVICE_DEMAND_START, "x", nullptr, nullptr,
         ERROR_INVALID_PARAMETER},
        {"Other", SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START, "x", nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"Other", 0x40, SERVICE_DEMAND_START, "x", nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"Other", SERVICE_KERNEL_DRIVER, 5, "x", nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"Loop", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, "x", "Loop\0", nullptr, ERROR_CIRCULAR_DEPENDENCY},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        SetLastError(0xdeadbeef);
        SC_HANDLE h = Create(r.name, r.type, r.start, r.image, r.deps, r.display);
        EXPECT_EQ(nullptr, h) << "row " << i;
        EXPECT_EQ(r.error, GetLastError()) << "row " << i;
        if (h) CloseServiceHandle(h);
    }
    EXPECT_EQ(1u, machine_->Services().List().size());
}

TEST_F(Scm, HandlesOfTheWrongKindOrWithoutTheAccess) {
    ASSERT_TRUE(machine_->Services().Install(Win32Service("A")));
    SERVICE_STATUS status;
    EXPECT_FALSE(QueryServiceStatus(reinterpret_cast<SC_HANDLE>(manager_), &status));
    EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, GetLastError());
    SC_HANDLE query = OpenServiceA(manager_, "a", SERVICE_QUERY_STATUS);
    ASSERT_NE(nullptr, query);
    EXPECT_FALSE(StartServiceA(query, 0, nullptr));
    EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, GetLastError());
    EXPECT_FALSE(DeleteService(query));
    EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, GetLastError());
    EXPECT_TRUE(CloseServiceHandle(query));
    EXPECT_FALSE(CloseServiceHandle(query));
    EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, GetLastError());
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "B", SERVICE_ALL_ACCESS));
    EXPECT_EQ(DWORD{ERROR_SERVICE_DOES_NOT_EXIST}, GetLastError());
}

TEST_F(Scm, StartingStartsWhatTheServiceDependsOn) {
    auto& db = machine_->Services();
    ASSERT_TRUE(db.Install(Win32Service("Base")));
    ASSERT_TRUE(db.Install(Win32Service("Mid", {"Base"})));
    ASSERT_TRUE(db.Install(Win32Service("Top", {"Mid"})));
    ASSERT_TRUE(db.Install(Win32Service("Orphan", {"Gone"})));
    ASSERT_TRUE(db.Install(Win32Service("OnBroken", {"Broken"})));
    ASSERT_TRUE(db.Install(Win32Service("Broken")));
    db.SetScript("Broken", ServiceScript{ServiceScript::Start::Fails, 2, ServiceScript::Stop::AtOnce, 0});
    winsim::ServiceConfig disabled = Win32Service("Off");
    disabled.startType = SERVICE_DISABLED;
    ASSERT_TRUE(db.Install(disabled));

    const std::pair<const char*, DWORD> rows[] = {
        {"Top", 0},
        {"Top", ERROR_SERVICE_ALREADY_RUNNING},
        {"Orphan", ERROR_SERVICE_DEPENDENCY_DELETED},
        {"OnBroken", ERROR_SERVICE_DEPENDENCY_FAIL},
        {"Broken", 2},
        {"Off", ERROR_SERVICE_DISABLED},
    };
    for (const auto& [name, error] : rows) {
        SC_HANDLE h = OpenServiceA(manager_, name, SERVICE_START);
        ASSERT_NE(nullptr, h) << name;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(error == 0, StartServiceA(h, 0, nullptr) != FALSE) << name;
        if (error) {
            EXPECT_EQ(error, GetLastError()) << name;
        }
        CloseServiceHandle(h);
    }
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, db.Find("Base")->state);
    EXPECT_EQ(DWORD{SERVICE_STOPPED}, db.Find("OnBroken")->state);
}

TEST_F(Scm, DependentsComeInReverseStartOrderAndRefuseTheStop) {
    auto& db = machine_->Services();
    // Created out of start order: Late depends on Early, which depends on Base; Side on Base.
    ASSERT_TRUE(db.Install(Win32Service("Late", {"Early"}), SERVICE_RUNNING));
    ASSERT_TRUE(db.Install(Win32Service("Base"), SERVICE_RUNNING));
    ASSERT_TRUE(db.Install(Win32Service("Side", {"Base"}), SERVICE_STOPPED));
    ASSERT_TRUE(db.Install(Win32Service("Early", {"Base"}), SERVICE_RUNNING));
    SC_HANDLE base = OpenServiceA(manager_, "Base", SERVICE_ALL_ACCESS);
    ASSERT_NE(nullptr, base);

    SERVICE_STATUS status;
    EXPECT_FALSE(ControlService(base, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(DWORD{ERROR_DEPENDENT_SERVICES_RUNNING}, GetLastError());

    alignas(ENUM_SERVICE_STATUSA) unsigned char buffer[1024];
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer);
    DWORD needed = 0, count = 0;
    ASSERT_TRUE(EnumDependentServicesA(base, SERVICE_ACTIVE, entries, sizeof buffer, &needed, &count));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ("Late", entries[0].lpServiceName);
    EXPECT_STREQ("Early", entries[1].lpServiceName);
    ASSERT_TRUE(EnumDependentServicesA(base, SERVICE_STATE_ALL, entries, sizeof buffer, &needed, &count));
    EXPECT_EQ(3u, count);
    // Too small: what fits, the size needed, ERROR_MORE_DATA.
    const DWORD all = needed;
    EXPECT_FALSE(EnumDependentServicesA(base, SERVICE_STATE_ALL, entries, all - 1, &needed, &count));
    EXPECT_EQ(DWORD{ERROR_MORE_DATA}, GetLastError());
    EXPECT_EQ(all, needed);
    EXPECT_EQ(2u, count);
    CloseServiceHandle(base);
}

TEST_F(Scm, AMarkedServiceGoesWhenItIsStoppedAndNoHandleIsLeftWhicheverComesLast) {
    // Last handle closed first, then the service stops on its own.
    SC_HANDLE service = Create("QxHost", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "C:\\x\\qxhost.exe");
    ASSERT_NE(nullptr, service);
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    ASSERT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    EXPECT_TRUE(machine_->Services().Find("QxHost").has_value()) << "a running service stays until it stops";
    machine_->Services().SetState("QxHost", SERVICE_STOPPED);
    EXPECT_FALSE(machine_->Services().Find("QxHost").has_value());
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenServiceA(manager_, "QxHost", SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());

    // Stopped first, then the last handle closes.
    service = Create("QxIdle", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "C:\\x\\qxidle.exe");
    ASSERT_TRUE(DeleteService(service));
    EXPECT_TRUE(machine_->Services().Find("QxIdle").has_value()) << "an open handle keeps it";
    CloseServiceHandle(service);
    EXPECT_FALSE(machine_->Services().Find("QxIdle").has_value());
}

TEST(ScmVersions, Windows95And98HaveNoServiceManager) {
    for (auto version : {OsVersion::Win95, OsVersion::Win98}) {
        winsim::ScopedMachine machine(version);
        SetLastError(0);
        EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        EXPECT_EQ(DWORD{ERROR_CALL_NOT_IMPLEMENTED}, GetLastError());
    }
    winsim::ScopedMachine nt(OsVersion::NT4);
    EXPECT_EQ(nullptr, OpenSCManagerA("\\\\ELSEWHERE", nullptr, SC_MANAGER_CONNECT));
    EXPECT_EQ(DWORD{RPC_S_SERVER_UNAVAILABLE}, GetLastError());
    EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT));
    EXPECT_EQ(DWORD{ERROR_DATABASE_DOES_NOT_EXIST}, GetLastError());
}

TEST(ScmText, RoundTripAndDamage) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    auto& db = machine->Services();
    winsim::ServiceConfig c = Win32Service("Host", {"QxUsb", "+Quillex"});
    c.group = "Tools";
    c.displayName = "Quillex host";
    ASSERT_TRUE(db.Install(c, SERVICE_RUNNING));
    db.SetScript("Host", ServiceScript{ServiceScript::Start::Fails, 1069, ServiceScript::Stop::AfterQueries, 4});
    db.SetScript("Later", ServiceScript{ServiceScript::Start::Runs, 0, ServiceScript::Stop::Refuses, 0});
    const std::string text = db.SaveText();

    winsim::ScopedMachine other(OsVersion::Win2000);
    std::string error;
    ASSERT_TRUE(other->Services().LoadText(text, &error)) << error;
    EXPECT_EQ(text, other->Services().SaveText());
    auto host = other->Services().Find("host");
    ASSERT_TRUE(host);
    EXPECT_EQ(c.dependencies, host->config.dependencies);
    EXPECT_EQ("Tools", host->config.group);
    EXPECT_EQ(1069u, host->script.startError);
    EXPECT_EQ(ServiceScript::Stop::Refuses, other->Services().ScriptOf("LATER").stop);

    const std::pair<const char*, const char*> damaged[] = {
        {"Type=1\n", "line 1"},
        {"[service A]\nType=one\n", "line 2"},
        {"[service A]\n[service a]\n", "line 2"},
        {"[device A]\n", "line 1"},
        {"[script A]\nType=1\n", "line 2"},
        {"[service A]\nOnStop=later\n", "line 2"},
        {"[service A/B]\n", "line 1"},
    };
    for (const auto& [bad, where] : damaged) {
        EXPECT_FALSE(other->Services().LoadText(bad, &error)) << bad;
        EXPECT_EQ(0u, error.rfind(where, 0)) << bad << ": " << error;
    }
    EXPECT_EQ(text, other->Services().SaveText());  // a refused text changes nothing
}
