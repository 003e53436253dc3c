// The service lists: which list each walk takes on each Windows version, the order of the lines,
// the result kept, and the three wrappers that open the INF by path.
#include "kvisinst/inf/servicelist.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/services.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

const char kInfPath[] = "C:\\Setup\\quillex.inf";

// An INF with the given lists and one service section per service, each named after its service.
HINF OpenInf(const std::string& lists, std::initializer_list<const char*> services = {}) {
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + lists;
    for (const char* name : services)
        text += std::string("[") + name + "]\r\nServiceName=" + name + "\r\nBinaryName=C:\\Quillex\\" + name +
                ".exe\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\n";
    EXPECT_TRUE(winsim::WriteWholeFile(kInfPath, text));
    HINF inf = SetupOpenInfFileA(kInfPath, nullptr, INF_STYLE_WIN4, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, inf);
    return inf;
}

// What happened to the services, as "started A", "stopped B", ...
std::vector<std::string> Events(winsim::Machine& machine) {
    std::vector<std::string> lines;
    for (const auto& e : machine.Services().Events())
        lines.push_back(std::string(winsim::ServiceEventName(e.kind)) + " " + e.name);
    return lines;
}

void Install(winsim::Machine& machine, std::initializer_list<const char*> names, DWORD state) {
    for (const char* name : names) {
        winsim::ServiceConfig c;
        c.name = name;
        c.type = SERVICE_WIN32_OWN_PROCESS;
        c.imagePath = std::string("C:\\Quillex\\") + name + ".exe";
        ASSERT_TRUE(machine.Services().Install(c, state)) << name;
    }
    machine.Services().ClearEvents();
}

enum class Walk { Install, Remove, Stop, Start };
const Walk kWalks[] = {Walk::Install, Walk::Remove, Walk::Stop, Walk::Start};

LONG RunWalk(HINF inf, Walk walk, const char* section = nullptr) {
    switch (walk) {
    case Walk::Install: return InstallDrivers(inf, 1, section);
    case Walk::Remove: return InstallDrivers(inf, 0, section);
    case Walk::Stop: return StopServices(inf, 1, section);
    case Walk::Start: return StopServices(inf, 0, section);
    }
    return -1;
}

}  // namespace

TEST(ServiceLists, DefaultListsAndTheirPlatformForms) {
    const std::string decorated =
        "[InstallDevices]\r\nPlain\r\n[InstallDevices.ntx86]\r\nNt4\r\n[UnInstallDevices.nt5x86]\r\nW2kRemove\r\n"
        "[Mine]\r\nGiven\r\n";
    const std::string plainRemoval = "[InstallDevices]\r\nPlain\r\n[UnInstallDevices]\r\nW2kRemove\r\n";
    const struct {
        OsVersion version;
        Walk walk;
        const char* section;
        const std::string& lists;
        const char* service;  // the one service the walk acts on
    } rows[] = {
        {OsVersion::Win2000, Walk::Install, nullptr, decorated, "Plain"},
        {OsVersion::NT4, Walk::Install, nullptr, decorated, "Nt4"},
        // Removal on Windows 2000 finds "UnInstallDevices" in its own form ...
        {OsVersion::Win2000, Walk::Remove, nullptr, decorated, "W2kRemove"},
        {OsVersion::Win2000, Walk::Stop, nullptr, decorated, "W2kRemove"},
        // ... NT 4 has neither form of it, and falls back to the NT 4 form of "InstallDevices".
        {OsVersion::NT4, Walk::Remove, nullptr, decorated, "Nt4"},
        {OsVersion::NT4, Walk::Stop, nullptr, decorated, "Nt4"},
        {OsVersion::Win2000, Walk::Start, nullptr, decorated, "Plain"},
        {OsVersion::NT4, Walk::Start, nullptr, decorated, "Nt4"},
        // A plain "UnInstallDevices" serves every NT version.
        {OsVersion::NT4, Walk::Stop, nullptr, plainRemoval, "W2kRemove"},
        {OsVersion::Win2000, Walk::Remove, nullptr, plainRemoval, "W2kRemove"},
        // A named list replaces the default.
        {OsVersion::Win2000, Walk::Remove, "Mine", decorated, "Given"},
        {OsVersion::NT4, Walk::Install, "Mine", decorated, "Given"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        winsim::ScopedMachine machine(row.version);
        HINF inf = OpenInf(row.lists, {"Plain", "Nt4", "W2kRemove", "Given"});
        if (row.walk != Walk::Install)
            Install(*machine, {"Plain", "Nt4", "W2kRemove", "Given"},
                    row.walk == Walk::Start ? SERVICE_STOPPED : SERVICE_RUNNING);
        EXPECT_EQ(S_OK, RunWalk(inf, row.walk, row.section)) << "row " << i;
        EXPECT_FALSE(machine->Services().Events().empty()) << "row " << i;
        for (const auto& e : machine->Services().Events()) EXPECT_EQ(row.service, e.name) << "row " << i;
        SetupCloseInfFile(inf);
    }
}

TEST(ServiceLists, InstallCreatesThenStartsAndRemovalStopsThenDeletesInListOrder) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenInf("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"});
    EXPECT_EQ(S_OK, InstallDrivers(inf, 1, nullptr));
    EXPECT_EQ((std::vector<std::string>{"created A", "started A", "created B", "started B"}), Events(*machine));
    machine->Services().ClearEvents();
    // No "UnInstallDevices": removal walks the same list, top to bottom.
    EXPECT_EQ(S_OK, InstallDrivers(inf, 0, nullptr));
    EXPECT_EQ((std::vector<std::string>{"asked to stop A", "stopped A", "marked for deletion A", "deleted A",
                                        "asked to stop B", "stopped B", "marked for deletion B", "deleted B"}),
              Events(*machine));
    EXPECT_EQ(0u, winsim::OpenServiceHandleCount());
    SetupCloseInfFile(inf);
}

TEST(ServiceLists, OnlyTheLastLinesLastActionCounts) {
    const ServiceScript fails{ServiceScript::Start::Fails, 1053, ServiceScript::Stop::AtOnce, 0};
    for (const char* failing : {"A", "B"}) {
        winsim::ScopedMachine machine(OsVersion::NT4);
        machine->Services().SetScript(failing, fails);
        HINF inf = OpenInf("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"});
        EXPECT_EQ(*failing == 'B' ? E_FAIL : S_OK, InstallDrivers(inf, 1, nullptr)) << failing << " fails";
        // The walk went on past the failure: both exist.
        EXPECT_EQ(2u, machine->Services().List().size()) << failing << " fails";
        SetupCloseInfFile(inf);
    }
    // A service that exists already: creating it fails, starting it works, and that is the result.
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenInf("[InstallDevices]\r\nA\r\n", {"A"});
    Install(*machine, {"A"}, SERVICE_STOPPED);
    EXPECT_EQ(S_OK, InstallDrivers(inf, 1, nullptr));
    EXPECT_EQ((std::vector<std::string>{"started A"}), Events(*machine));
    SetupCloseInfFile(inf);
}

TEST(ServiceLists, Windows95And98VisitTheListButTouchNothing) {
    for (auto version : {OsVersion::Win95, OsVersion::Win98}) {
        winsim::ScopedMachine machine(version);
        HINF inf = OpenInf("[InstallDevices]\r\nA\r\n[InstallDevices.win95]\r\nA\r\n[InstallDevices.win98]\r\nA\r\n", {"A"});
        for (auto walk : kWalks) EXPECT_EQ(S_OK, RunWalk(inf, walk)) << winsim::OsVersionName(version);
        EXPECT_EQ(S_OK, SetupInstallDrivers(kInfPath));
        EXPECT_EQ(S_OK, SetupUnInstallDrivers(kInfPath));
        EXPECT_EQ(S_OK, SetupStopServices(kInfPath));
        EXPECT_TRUE(machine->Services().Events().empty());
        SetupCloseInfFile(inf);
    }
}

TEST(ServiceLists, AnUnknownSystemActsAsTheNtFamilyDoes) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    machine->SetRecord({5, 0, 0, 3, ""});  // a platform id the library does not know
    HINF inf = OpenInf("[InstallDevices]\r\nA\r\n", {"A"});
    EXPECT_EQ(S_OK, InstallDrivers(inf, 1, nullptr));
    EXPECT_EQ((std::vector<std::string>{"created A", "started A"}), Events(*machine));
    SetupCloseInfFile(inf);
}

TEST(ServiceLists, AMissingOrEmptyListRunsNothing) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenInf("[Empty]\r\n");
    for (auto walk : kWalks) {
        EXPECT_EQ(S_OK, RunWalk(inf, walk));
        EXPECT_EQ(S_OK, RunWalk(inf, walk, "Empty"));
    }
    SetupCloseInfFile(inf);
}

TEST(ServiceListWrappers, OpenTheInfByPath) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    SetupCloseInfFile(OpenInf("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"}));
    EXPECT_EQ(S_OK, SetupInstallDrivers(kInfPath));
    EXPECT_EQ(DWORD{SERVICE_RUNNING}, machine->Services().Find("B")->state);
    EXPECT_EQ(S_OK, SetupStopServices(kInfPath));
    EXPECT_EQ(DWORD{SERVICE_STOPPED}, machine->Services().Find("A")->state);
    // Relative to the current directory, as SetupAPI resolves a path with a folder in it.
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Setup"));
    EXPECT_EQ(S_OK, SetupUnInstallDrivers(".\\quillex.inf"));
    EXPECT_TRUE(machine->Services().List().empty());
    for (const char* bad : {"C:\\Setup\\missing.inf", "", static_cast<const char*>(nullptr)}) {
        const std::string label = bad ? bad : "(null)";
        EXPECT_EQ(E_INVALIDARG, SetupInstallDrivers(bad)) << label;
        EXPECT_EQ(E_INVALIDARG, SetupUnInstallDrivers(bad)) << label;
        EXPECT_EQ(E_INVALIDARG, SetupStopServices(bad)) << label;
    }
}
