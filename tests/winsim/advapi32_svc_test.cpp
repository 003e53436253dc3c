// winsim's service control manager: the Win32 calls' errors as Windows gives them, starting what a
// service depends on, and the machine folder's text form.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/services.h>
#include <winsim/win32api.h>

#include "inf/inf_testing.h"

#include <gtest/gtest.h>

#include <string>

using inftest::Service;
using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

class Scm : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }
    void TearDown() override {
        CloseServiceHandle(manager_);
        EXPECT_EQ(0u, winsim::OpenServiceHandleCount());
    }
    SC_HANDLE Create(const char* name, DWORD type, DWORD start, const char* image, const char* deps = nullptr,
                     const char* display = nullptr) {
        return CreateServiceA(manager_, name, display, SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL, image,
                              nullptr, nullptr, deps, nullptr, nullptr);
    }
    // The error of a call that must fail, 0 if it succeeded.
    static DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }

    winsim::ScopedMachine machine_{OsVersion::Win2000};
    SC_HANDLE manager_ = nullptr;
};

}  // namespace

TEST_F(Scm, CreateRefusesWhatWindowsRefuses) {
    const DWORD K = SERVICE_KERNEL_DRIVER, D = SERVICE_DEMAND_START;
    SC_HANDLE first = Create("QxUsb", K, D, "qxusb.sys", nullptr, "Reader");
    ASSERT_NE(nullptr, first);
    CloseServiceHandle(first);
    struct Row {
        const char *name, *image, *deps, *display;
        DWORD type, start, error;
    };
    const Row rows[] = {
        {"qxusb", "x.sys", nullptr, nullptr, K, D, ERROR_SERVICE_EXISTS},
        {"Other", "x.sys", nullptr, "reader", K, D, ERROR_DUPLICATE_SERVICE_NAME},
        {"Other", "x.sys", nullptr, "QXUSB", K, D, ERROR_DUPLICATE_SERVICE_NAME},  // another's key name
        {"a\\b", "x.sys", nullptr, nullptr, K, D, ERROR_INVALID_NAME},
        {"Other", nullptr, nullptr, nullptr, K, D, ERROR_INVALID_PARAMETER},
        {"Other", "x", nullptr, nullptr, K | SERVICE_INTERACTIVE_PROCESS, D, ERROR_INVALID_PARAMETER},
        {"Loop", "x", "Loop\0", nullptr, K, D, ERROR_CIRCULAR_DEPENDENCY},
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

TEST_F(Scm, StartingStartsWhatTheServiceDependsOn) {
    auto& db = machine_->Services();
    for (const auto& c : {Service("Base"), Service("Mid", {"Base"}), Service("Top", {"Mid"}),
                          Service("Orphan", {"Gone"}), Service("OnBroken", {"Broken"}), Service("Broken")})
        ASSERT_TRUE(db.Install(c)) << c.name;
    db.SetScript("Broken", ServiceScript{ServiceScript::Start::Fails, 2, ServiceScript::Stop::AtOnce, 0});
    ASSERT_TRUE(db.Install(Service("Off", {}, SERVICE_DISABLED)));

    const std::pair<const char*, DWORD> rows[] = {
        {"Top", 0}, {"Top", ERROR_SERVICE_ALREADY_RUNNING}, {"Orphan", ERROR_SERVICE_DEPENDENCY_DELETED},
        {"OnBroken", ERROR_SERVICE_DEPENDENCY_FAIL}, {"Broken", 2}, {"Off", ERROR_SERVICE_DISABLED},
    };
    for (const auto& [name, error] : rows) {
        SC_HANDLE h = OpenServiceA(manager_, name, SERVICE_START);
        ASSERT_NE(nullptr, h) << name;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(error, ErrorOf(StartServiceA(h, 0, nullptr))) << name;
        CloseServiceHandle(h);
    }
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, db.Find("Base")->state);
    EXPECT_EQ(DWORD{SERVICE_STOPPED}, db.Find("OnBroken")->state);
}

// A start needs the file the service's path names, found as the service manager and the kernel find it.
TEST_F(Scm, StartFailsWithoutTheProgramOrDriverFile) {
    const DWORD W = SERVICE_WIN32_OWN_PROCESS, K = SERVICE_KERNEL_DRIVER;
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Kv\\kvsvc.exe", "MZ"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\WINNT\\System32\\drivers\\kvusb.sys", "MZ"));
    const struct {
        DWORD type;
        const char* image;
        DWORD error;
    } rows[] = {
        {W, "\"C:\\Program Files\\Kv\\kvsvc.exe\" -service", 0},
        {W, "%SystemRoot%\\..\\Program Files\\Kv\\kvsvc.exe", 0},
        {W, "C:\\Program Files\\Kv\\gone.exe", ERROR_FILE_NOT_FOUND},
        {K, "\\SystemRoot\\System32\\drivers\\kvusb.sys", 0},
        {K, "System32\\drivers\\kvusb.sys", 0},
        {K, "C:\\WINNT\\System32\\drivers\\gone.sys", ERROR_FILE_NOT_FOUND},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string name = "Svc" + std::to_string(i);
        SC_HANDLE h = Create(name.c_str(), rows[i].type, SERVICE_DEMAND_START, rows[i].image);
        ASSERT_NE(nullptr, h) << "row " << i;
        EXPECT_EQ(rows[i].error, ErrorOf(StartServiceA(h, 0, nullptr))) << "row " << i;
        EXPECT_EQ(rows[i].error ? DWORD{SERVICE_STOPPED} : DWORD{SERVICE_RUNNING},
                  machine_->Services().Find(name)->state) << "row " << i;
        CloseServiceHandle(h);
    }
}

TEST(ScmText, RoundTripAndDamage) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    auto& db = machine->Services();
    winsim::ServiceConfig c = Service("Host", {"QxUsb", "+Quillex"});
    c.group = "Tools";
    c.displayName = "Quillex host";
    ASSERT_TRUE(db.Install(c, SERVICE_RUNNING));
    db.SetScript("Host", ServiceScript{ServiceScript::Start::Fails, 1069, ServiceScript::Stop::AfterQueries, 4});
    db.SetScript("Later", ServiceScript{ServiceScript::Start::Runs, 0, ServiceScript::Stop::Refuses, 0});
    const std::string text = db.SaveText();

    winsim::ScopedMachine other(OsVersion::Win2000);
    auto& loaded = other->Services();
    std::string error;
    ASSERT_TRUE(loaded.LoadText(text, &error)) << error;
    EXPECT_EQ(text, loaded.SaveText());
    auto host = loaded.Find("host");
    ASSERT_TRUE(host);
    EXPECT_EQ(c.dependencies, host->config.dependencies);
    EXPECT_EQ("Tools", host->config.group);
    EXPECT_EQ(1069u, host->script.startError);
    EXPECT_EQ(ServiceScript::Stop::Refuses, loaded.ScriptOf("LATER").stop);

    // Faults of the syntax are the section reader's (text_test.cpp); these are services.txt's own.
    const std::pair<const char*, const char*> damaged[] = {
        {"[service A]\nType=one\n", "line 2"}, {"[service A]\n[service a]\n", "line 2"},
        {"[device A]\n", "line 1"}, {"[script A]\nType=1\n", "line 2"}, {"[service A/B]\n", "line 1"},
    };
    for (const auto& [bad, where] : damaged) {
        EXPECT_FALSE(loaded.LoadText(bad, &error)) << bad;
        EXPECT_EQ(0u, error.rfind(where, 0)) << bad << ": " << error;
    }
    EXPECT_EQ(text, loaded.SaveText());  // a refused text changes nothing
}
