// ControlService on the simulated service control manager: what a service section says, and the
// four actions with the outcomes Windows gives them.
#include "kvisinst/inf/service.h"
#include "shared/service_sections.h"

#include "inf/inf_testing.h"

#include <string>
#include <vector>

using inftest::CTestInf;
using inftest::Service;
using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

ServiceScript Stops(ServiceScript::Stop stop, unsigned queries = 0) {
    return ServiceScript{ServiceScript::Start::Runs, 0, stop, queries};
}

const char kDriverSection[] = "[QxUsb]\r\nServiceName=QxUsb\r\n[QxHost]\r\nServiceName=QxHost\r\n";

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
    std::vector<std::string> Events() const { return inftest::Events(db_); }
};

}  // namespace

TEST_F(ServiceControl, SectionsCreateTheServicesTheyDescribe) {
    for (size_t i = 0; i < std::size(kServiceSections); ++i) {
        const auto& row = kServiceSections[i];
        const std::string name = "S" + std::to_string(i);
        CTestInf inf("[Svc]\r\nServiceName=" + name + "\r\nBinaryName=C:\\x\\s.sys\r\n" + row.lines + "\r\n");
        EXPECT_EQ(S_OK, Run("Svc", SVC_CREATE, &inf)) << "row " << i;
        const auto created = db_.Find(name);
        ASSERT_TRUE(created) << "row " << i;
        EXPECT_EQ(row.display ? row.display : name, created->config.displayName) << "row " << i;
        EXPECT_EQ(row.type, created->config.type) << "row " << i;
        EXPECT_EQ(row.startType, created->config.startType) << "row " << i;
    }
    // What the Windows tests can't read back from Wine's service manager: the dependency list (two
    // blanks in a row end it; a leading one, kept only in quotes, empties it; a line's fields joined
    // by commas are one name), the rest of the configuration, and a name taken from the image path.
    const std::pair<const char*, std::vector<std::string>> kDependencies[] = {
        {"QxUsb QxBus +Base", {"QxUsb", "QxBus", "+Base"}},
        {"QxUsb  QxBus", {"QxUsb"}},
        {"\" QxUsb\"", {}},
        {"A,B", {"A,B"}},
    };
    for (const auto& row : kDependencies) {
        const std::string section = "[Svc]\r\nServiceName=D\r\nBinaryName=C:\\x\\d.exe\r\n";
        CTestInf inf(section + "ServiceType=SERVICE_WIN32_OWN_PROCESS\r\nDependencies=" + row.first);
        ASSERT_EQ(S_OK, Run("Svc", SVC_CREATE, &inf)) << row.first;
        const auto created = db_.Find("D");
        EXPECT_EQ(row.second, created->config.dependencies) << row.first;
        EXPECT_EQ("C:\\x\\d.exe", created->config.imagePath);
        EXPECT_EQ(DWORD{SERVICE_ERROR_NORMAL}, created->config.errorControl);
        EXPECT_EQ("LocalSystem", created->config.account);
        EXPECT_EQ(S_OK, Run("Svc", SVC_DELETE, &inf));
    }
    CTestInf derived("[Svc]\r\nBinaryName=\"C:\\Program Files\\Quillex/kvhost.exe\" -service\r\n");
    const size_t before = db_.List().size();
    EXPECT_EQ(S_OK, Run("Svc", SVC_CREATE, &derived));
    ASSERT_EQ(before + 1, db_.List().size());
    for (const auto& service : db_.List())
        EXPECT_EQ(std::string::npos, service.config.name.find_first_of("\\/")) << service.config.name;
}

TEST_F(ServiceControl, EachActionsResult) {
    inftest::PutProgram("C:\\Quillex\\steps.exe");
    CTestInf inf(ServiceStepsInf("QxSteps", "C:\\Quillex\\steps.exe"));
    for (size_t i = 0; i < std::size(kServiceSteps); ++i) {
        const auto& step = kServiceSteps[i];
        EXPECT_EQ(step.result, static_cast<uint32_t>(Run(step.section, step.action, &inf))) << "step " << i;
    }
    EXPECT_TRUE(db_.List().empty());
}

// Stopping a service that is missing, stopped or stops at once is among the shared steps.
TEST_F(ServiceControl, StopOutcomesAndTheWait) {
    const struct {
        const char* name;
        DWORD state;
        ServiceScript::Stop stop;
        unsigned queries;
        LONG result;
        DWORD finalState;
        uint64_t virtualMs;  // how long the simulated clock ran
    } rows[] = {
        // Two polls answered "stop pending" (100 ms each), the third finds it stopped.
        {"Slow", SERVICE_RUNNING, ServiceScript::Stop::AfterQueries, 2, S_OK, SERVICE_STOPPED, 200},
        // Still stopping after 100 polls: the stop counts as done after ten simulated seconds.
        {"Never", SERVICE_RUNNING, ServiceScript::Stop::Never, 0, S_OK, SERVICE_STOP_PENDING, 10000},
        {"Refuses", SERVICE_RUNNING, ServiceScript::Stop::Refuses, 0, E_FAIL, SERVICE_RUNNING, 0},
        // A stop already under way cannot be asked for again.
        {"Pending", SERVICE_STOP_PENDING, ServiceScript::Stop::Never, 0, E_FAIL, SERVICE_STOP_PENDING, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        db_.SetScript(row.name, Stops(row.stop, row.queries));
        ASSERT_TRUE(db_.Install(Service(row.name), row.state)) << "row " << i;
        CTestInf inf(std::string("[S]\r\nServiceName=") + row.name + "\r\n");
        const uint64_t before = machine_->NowMs();
        EXPECT_EQ(row.result, Run("S", SVC_STOP, &inf)) << "row " << i;
        EXPECT_EQ(row.virtualMs, machine_->NowMs() - before) << "row " << i;
        EXPECT_EQ(row.finalState, db_.Find(row.name)->state) << "row " << i;
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

// A running service is only marked; deleting it again meets ERROR_SERVICE_MARKED_FOR_DELETE, which
// counts as done.
TEST_F(ServiceControl, DeletingARunningServiceMarksIt) {
    db_.SetScript("QxHost", Stops(ServiceScript::Stop::Never));
    ASSERT_TRUE(db_.Install(Service("QxHost"), SERVICE_RUNNING));
    EXPECT_EQ(S_OK, Run("QxHost", SVC_DELETE));
    ASSERT_TRUE(db_.Find("QxHost"));
    EXPECT_TRUE(db_.Find("QxHost")->markedForDelete);
    EXPECT_EQ(S_OK, Run("QxHost", SVC_DELETE));
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
