// ControlService on the simulated service control manager: what a service section says, and the
// four actions with the outcomes Windows gives them.
#include "kvisinst/inf/service.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/services.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

// An INF on the current machine, open for the object's lifetime.
class CTestInf {
public:
    explicit CTestInf(const std::string& sections) {
        EXPECT_TRUE(winsim::WriteWholeFile("C:\\Setup\\product.inf",
                                           "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n" + sections));
        inf_ = SetupOpenInfFileA("C:\\Setup\\product.inf", nullptr, INF_STYLE_WIN4, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, inf_);
    }
    ~CTestInf() { SetupCloseInfFile(inf_); }
    HINF Handle() const { return inf_; }

private:
    HINF inf_;
};

// The dependency list as "A|B|C", up to the empty name that ends it.
std::string Names(const char* list) {
    std::string names;
    for (const char* p = list; *p; p += std::strlen(p) + 1) names += (names.empty() ? "" : "|") + std::string(p);
    return names;
}

winsim::ServiceConfig Service(const std::string& name, std::vector<std::string> dependencies = {}) {
    winsim::ServiceConfig c;
    c.name = name;
    c.type = SERVICE_WIN32_OWN_PROCESS;
    c.imagePath = "C:\\Quillex\\" + name + ".exe";
    c.dependencies = std::move(dependencies);
    return c;
}

ServiceScript Stops(ServiceScript::Stop stop, unsigned queries = 0) {
    return ServiceScript{ServiceScript::Start::Runs, 0, stop, queries};
}

}  // namespace

TEST(ServiceSection, KeysAndTheirDefaults) {
    const struct {
        const char* lines;
        const char* name;
        const char* display;
        DWORD type;
        DWORD start;
        const char* dependencies;
    } rows[] = {
        {"BinaryName=%12%\\qxusb.sys", "qxusb", "qxusb", 0x1, 2, ""},
        {"ServiceName=Qx\r\nServiceDisplayName=Quillex reader\r\nBinaryName=x.sys", "Qx", "Quillex reader", 0x1, 2, ""},
        // Keywords match exactly: lower case is not one of them.
        {"ServiceName=S\r\nServiceType=SERVICE_FILE_SYSTEM_DRIVER\r\nStartType=SERVICE_BOOT_START", "S", "S", 0x2, 0, ""},
        {"ServiceName=S\r\nServiceType=service_win32_own_process\r\nStartType=demand", "S", "S", 0x1, 2, ""},
        {"ServiceName=S\r\nServiceType=SERVICE_WIN32_SHARE_PROCESS\r\nStartType=SERVICE_SYSTEM_START", "S", "S", 0x20, 1,
         ""},
        // "Interactive" only for Win32 services, and only "yes" in any letter case.
        {"ServiceName=S\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nInteractive=yes\r\nStartType=SERVICE_DEMAND_START",
         "S", "S", 0x110, 3, ""},
        {"ServiceName=S\r\nServiceType=SERVICE_WIN32_SHARE_PROCESS\r\nInteractive=YeS\r\nStartType=SERVICE_DISABLED", "S",
         "S", 0x120, 4, ""},
        {"ServiceName=S\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\nInteractive=1", "S", "S", 0x10, 2, ""},
        {"ServiceName=S\r\nServiceType=SERVICE_KERNEL_DRIVER\r\nInteractive=YES", "S", "S", 0x1, 2, ""},
        // Dependencies: single blanks separate; two in a row end the list; a leading blank (kept only in
        // quotes: SetupAPI trims the rest) empties it; the line's fields joined by commas are one name.
        {"ServiceName=S\r\nDependencies=QxUsb QxBus +Base", "S", "S", 0x1, 2, "QxUsb|QxBus|+Base"},
        {"ServiceName=S\r\nDependencies=QxUsb  QxBus", "S", "S", 0x1, 2, "QxUsb"},
        {"ServiceName=S\r\nDependencies=\" QxUsb\"", "S", "S", 0x1, 2, ""},
        {"ServiceName=S\r\nDependencies=\"QxUsb  \"", "S", "S", 0x1, 2, "QxUsb"},
        {"ServiceName=S\r\nDependencies=A,B", "S", "S", 0x1, 2, "A,B"},
        // Names from the image path: quotes and arguments, forward slashes, no extension at all.
        {"BinaryName=\"C:\\Program Files\\Quillex\\kvhost.exe\" -service", "kvhost", "kvhost", 0x1, 2, ""},
        {"BinaryName=C:/drivers/qx.bus.sys", "qx.bus", "qx.bus", 0x1, 2, ""},
        {"BinaryName=qxsvc", "qxsvc", "qxsvc", 0x1, 2, ""},
        {"ServiceType=SERVICE_KERNEL_DRIVER", "", "", 0x1, 2, ""},
    };
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (size_t i = 0; i < std::size(rows); ++i) {
        CTestInf inf(std::string("[Svc]\r\n") + rows[i].lines + "\r\n");
        CServiceSection s;
        std::memset(&s, 0x5A, sizeof s);
        ReadServiceSection(inf.Handle(), "Svc", &s);
        EXPECT_STREQ(rows[i].name, s.name) << "row " << i;
        EXPECT_STREQ(rows[i].display, s.displayName) << "row " << i;
        EXPECT_EQ(rows[i].type, s.type) << "row " << i;
        EXPECT_EQ(rows[i].start, s.startType) << "row " << i;
        EXPECT_EQ(rows[i].dependencies, Names(s.dependencies)) << "row " << i;
    }
}

TEST(ServiceSection, AValueTooLongForItsBufferCountsAsMissing) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const std::string longName(300, 'n');
    CTestInf inf("[Svc]\r\nServiceName=" + longName + "\r\nBinaryName=C:\\x\\short.sys\r\nServiceDisplayName=" +
                 std::string(259, 'd') + "\r\n");
    CServiceSection s;
    ReadServiceSection(inf.Handle(), "Svc", &s);
    EXPECT_STREQ("short", s.name);
    EXPECT_EQ(std::string(259, 'd'), s.displayName);
    EXPECT_TRUE(s.hasImagePath);

    char name[kServiceValueSize];
    ServiceNameFromImagePath(("C:\\" + longName + ".exe").c_str(), name);
    EXPECT_EQ(std::string(kServiceValueSize - 1, 'n'), name);
}

namespace {

const char kDriverSection[] =
    "[QxUsb]\r\nServiceName=QxUsb\r\nBinaryName=System32\\DRIVERS\\qxusb.sys\r\n"
    "[QxHost]\r\nServiceName=QxHost\r\nBinaryName=C:\\Program Files\\Quillex\\kvhost.exe\r\n"
    "ServiceType=SERVICE_WIN32_OWN_PROCESS\r\nDependencies=QxUsb +Quillex\r\nInteractive=yes\r\n"
    "[NoImage]\r\nServiceName=NoImage\r\n";

class ServiceControl : public ::testing::Test {
protected:
    winsim::ScopedMachine machine_{OsVersion::Win2000};
    CTestInf inf_{kDriverSection};
    winsim::ServiceDatabase& db_ = machine_->Services();

    // Runs one action on a section of the INF given, or of kDriverSection; every service handle is closed after.
    LONG Run(const char* section, int action, const CTestInf* inf = nullptr) {
        const LONG result =
            ControlService((inf ? inf : &inf_)->Handle(), section, static_cast<tagSERVICE_CONTROL>(action));
        EXPECT_EQ(0u, winsim::OpenServiceHandleCount()) << section << " action " << action;
        return result;
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> lines;
        for (const auto& e : db_.Events()) lines.push_back(std::string(winsim::ServiceEventName(e.kind)) + " " + e.name);
        return lines;
    }
};

}  // namespace

TEST_F(ServiceControl, CreateWritesTheConfigurationOnceAndNeedsAnImage) {
    EXPECT_EQ(S_OK, Run("QxHost", SVC_CREATE));
    auto host = db_.Find("qxhost");
    ASSERT_TRUE(host);
    EXPECT_EQ("QxHost", host->config.displayName);
    EXPECT_EQ(0x110u, host->config.type);
    EXPECT_EQ(DWORD{SERVICE_AUTO_START}, host->config.startType);
    EXPECT_EQ(DWORD{SERVICE_ERROR_NORMAL}, host->config.errorControl);
    EXPECT_EQ("C:\\Program Files\\Quillex\\kvhost.exe", host->config.imagePath);
    EXPECT_EQ((std::vector<std::string>{"QxUsb", "+Quillex"}), host->config.dependencies);
    EXPECT_EQ("LocalSystem", host->config.account);

    EXPECT_EQ(E_FAIL, Run("QxHost", SVC_CREATE)) << "it exists already";
    EXPECT_EQ(E_FAIL, Run("NoImage", SVC_CREATE));
    EXPECT_FALSE(db_.Find("NoImage"));
    // Without an image the other actions still work by name.
    EXPECT_EQ(S_OK, Run("NoImage", SVC_STOP));
    EXPECT_EQ(S_OK, Run("NoImage", SVC_DELETE));
    EXPECT_EQ(E_FAIL, Run("NoImage", SVC_START));
}

TEST_F(ServiceControl, StartOutcomes) {
    ASSERT_TRUE(db_.Install(Service("QxUsb")));
    EXPECT_EQ(S_OK, Run("QxUsb", SVC_START));
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, db_.Find("QxUsb")->state);
    EXPECT_EQ(E_FAIL, Run("QxUsb", SVC_START)) << "already running is a failure";

    db_.SetScript("Failing", ServiceScript{ServiceScript::Start::Fails, 1053, ServiceScript::Stop::AtOnce, 0});
    ASSERT_TRUE(db_.Install(Service("Failing")));
    CTestInf other("[F]\r\nServiceName=Failing\r\n[Missing]\r\nServiceName=NotThere\r\n");
    EXPECT_EQ(E_FAIL, Run("F", SVC_START, &other));
    EXPECT_EQ(E_FAIL, Run("Missing", SVC_START, &other));
}

TEST_F(ServiceControl, StopOutcomesAndTheWait) {
    const struct {
        const char* name;
        bool exists;
        DWORD state;
        ServiceScript::Stop stop;
        unsigned queries;
        LONG result;
        DWORD finalState;
        uint64_t virtualMs;  // how long the simulated clock ran
    } rows[] = {
        {"Missing", false, 0, ServiceScript::Stop::AtOnce, 0, S_OK, 0, 0},
        {"Stopped", true, SERVICE_STOPPED, ServiceScript::Stop::AtOnce, 0, S_OK, SERVICE_STOPPED, 0},
        {"AtOnce", true, SERVICE_RUNNING, ServiceScript::Stop::AtOnce, 0, S_OK, SERVICE_STOPPED, 0},
        // Two polls answered "stop pending" (100 ms each), the third finds it stopped.
        {"Slow", true, SERVICE_RUNNING, ServiceScript::Stop::AfterQueries, 2, S_OK, SERVICE_STOPPED, 200},
        // Still stopping after 100 polls: the stop counts as done after ten simulated seconds.
        {"Never", true, SERVICE_RUNNING, ServiceScript::Stop::Never, 0, S_OK, SERVICE_STOP_PENDING, 10000},
        {"Refuses", true, SERVICE_RUNNING, ServiceScript::Stop::Refuses, 0, E_FAIL, SERVICE_RUNNING, 0},
        // A stop already under way cannot be asked for again.
        {"Pending", true, SERVICE_STOP_PENDING, ServiceScript::Stop::Never, 0, E_FAIL, SERVICE_STOP_PENDING, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        db_.SetScript(row.name, Stops(row.stop, row.queries));
        if (row.exists) {
            ASSERT_TRUE(db_.Install(Service(row.name), row.state)) << "row " << i;
        }
        CTestInf inf(std::string("[S]\r\nServiceName=") + row.name + "\r\n");
        const uint64_t before = machine_->NowMs();
        EXPECT_EQ(row.result, Run("S", SVC_STOP, &inf)) << "row " << i;
        EXPECT_EQ(row.virtualMs, machine_->NowMs() - before) << "row " << i;
        if (row.exists) {
            EXPECT_EQ(row.finalState, db_.Find(row.name)->state) << "row " << i;
        }
    }
}

TEST_F(ServiceControl, StopStopsRunningDependentsFirstWithoutWaiting) {
    // QxUsb <- QxHost <- QxAgent, all running; QxIdle depends on QxUsb but is stopped.
    ASSERT_TRUE(db_.Install(Service("QxUsb"), SERVICE_RUNNING));
    ASSERT_TRUE(db_.Install(Service("QxHost", {"QxUsb"}), SERVICE_RUNNING));
    ASSERT_TRUE(db_.Install(Service("QxIdle", {"QxUsb"})));
    ASSERT_TRUE(db_.Install(Service("QxAgent", {"QxHost"}), SERVICE_RUNNING));
    db_.ClearEvents();
    const uint64_t before = machine_->NowMs();
    EXPECT_EQ(S_OK, Run("QxUsb", SVC_STOP));
    EXPECT_EQ(before, machine_->NowMs());
    // The dependents in the order the service manager lists them: the last started first.
    EXPECT_EQ((std::vector<std::string>{"asked to stop QxAgent", "stopped QxAgent", "asked to stop QxHost",
                                        "stopped QxHost", "asked to stop QxUsb", "stopped QxUsb"}),
              Events());
}

TEST_F(ServiceControl, StopFailsWhenADependentIsStillStopping) {
    ASSERT_TRUE(db_.Install(Service("QxUsb"), SERVICE_RUNNING));
    db_.SetScript("QxHost", Stops(ServiceScript::Stop::AfterQueries, 3));
    ASSERT_TRUE(db_.Install(Service("QxHost", {"QxUsb"}), SERVICE_RUNNING));
    EXPECT_EQ(E_FAIL, Run("QxUsb", SVC_STOP));
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, db_.Find("QxUsb")->state);
    EXPECT_EQ(DWORD{SERVICE_STOP_PENDING}, db_.Find("QxHost")->state);
}

TEST_F(ServiceControl, DeleteMarksAndTheServiceGoesOnceStoppedAndClosed) {
    ASSERT_TRUE(db_.Install(Service("QxUsb")));
    EXPECT_EQ(S_OK, Run("QxUsb", SVC_DELETE));
    EXPECT_FALSE(db_.Find("QxUsb"));
    // A running service stays, marked, until it stops and the last handle is closed.
    db_.SetScript("QxHost", Stops(ServiceScript::Stop::Never));
    ASSERT_TRUE(db_.Install(Service("QxHost"), SERVICE_RUNNING));
    EXPECT_EQ(S_OK, Run("QxHost", SVC_DELETE));
    ASSERT_TRUE(db_.Find("QxHost"));
    EXPECT_TRUE(db_.Find("QxHost")->markedForDelete);
    // Deleting again, or a service that is not there, counts as done; starting a marked one fails.
    EXPECT_EQ(S_OK, Run("QxHost", SVC_DELETE));
    EXPECT_EQ(S_OK, Run("QxUsb", SVC_DELETE));
    EXPECT_EQ(E_FAIL, Run("QxHost", SVC_START));
    db_.SetState("QxHost", SERVICE_STOPPED);
    EXPECT_EQ(S_OK, Run("QxHost", SVC_STOP));  // the last handle closes on a stopped service
    EXPECT_FALSE(db_.Find("QxHost"));
}

TEST_F(ServiceControl, AnUnknownActionOpensAndClosesTheManagerOnly) {
    ASSERT_TRUE(db_.Install(Service("QxHost"), SERVICE_RUNNING));
    db_.ClearEvents();
    for (int action : {4, 7, -1}) EXPECT_EQ(S_OK, Run("QxHost", action)) << action;
    EXPECT_TRUE(Events().empty());
}

TEST(ServiceControlActions, WithoutAServiceManagerEveryActionFails) {
    for (auto version : {OsVersion::Win95, OsVersion::Win98}) {
        winsim::ScopedMachine machine(version);
        CTestInf inf(kDriverSection);
        // Even an unknown action: the manager cannot be opened.
        for (int action : std::initializer_list<int>{SVC_START, SVC_STOP, SVC_CREATE, SVC_DELETE, 9})
            EXPECT_EQ(E_FAIL, ControlService(inf.Handle(), "QxUsb", static_cast<tagSERVICE_CONTROL>(action)))
                << winsim::OsVersionName(version) << " action " << action;
    }
}
