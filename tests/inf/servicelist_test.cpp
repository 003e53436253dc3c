// The service lists: which list each walk takes on each Windows version, the order of the lines,
// the result kept, and the three wrappers that open the INF by path.
#include "kvisinst/inf/servicelist.h"

#include "inf/inf_testing.h"

#include <string>
#include <vector>

using inftest::CTestInf;
using inftest::Events;
using inftest::kInfPath;
using winsim::OsVersion;
using winsim::ServiceScript;

namespace {

// The lists given, and one service section per service, each named after its service, whose
// program is laid out.
std::string Lists(const std::string& lists, std::initializer_list<const char*> services) {
    std::string text = lists;
    for (const char* name : services) {
        const std::string program = std::string("C:\\Quillex\\") + name + ".exe";
        inftest::PutProgram(program);
        text += std::string("[") + name + "]\r\nServiceName=" + name + "\r\nBinaryName=" + program +
                "\r\nServiceType=SERVICE_WIN32_OWN_PROCESS\r\n";
    }
    return text;
}

void Install(winsim::Machine& machine, std::initializer_list<const char*> names, DWORD state) {
    for (const char* name : names)
        ASSERT_TRUE(machine.Services().Install(inftest::Service(name), state)) << name;
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
        // ... NT 4 has neither form of it, and falls back to the NT 4 form of "InstallDevices".
        {OsVersion::NT4, Walk::Remove, nullptr, decorated, "Nt4"},
        {OsVersion::NT4, Walk::Start, nullptr, decorated, "Nt4"},
        // A plain "UnInstallDevices" serves every NT version; stopping walks the removal list.
        {OsVersion::NT4, Walk::Stop, nullptr, plainRemoval, "W2kRemove"},
        // A named list replaces the default.
        {OsVersion::Win2000, Walk::Remove, "Mine", decorated, "Given"},
        {OsVersion::NT4, Walk::Install, "Mine", decorated, "Given"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        winsim::ScopedMachine machine(row.version);
        CTestInf inf(Lists(row.lists, {"Plain", "Nt4", "W2kRemove", "Given"}));
        if (row.walk != Walk::Install)
            Install(*machine, {"Plain", "Nt4", "W2kRemove", "Given"},
                    row.walk == Walk::Start ? SERVICE_STOPPED : SERVICE_RUNNING);
        EXPECT_EQ(S_OK, RunWalk(inf.Handle(), row.walk, row.section)) << "row " << i;
        EXPECT_FALSE(machine->Services().Events().empty()) << "row " << i;
        for (const auto& e : machine->Services().Events()) EXPECT_EQ(row.service, e.name) << "row " << i;
    }
}

// A system of unknown class acts as the NT family does.
TEST(ServiceLists, InstallCreatesThenStartsAndRemovalStopsThenDeletesInListOrder) {
    for (bool unknown : {false, true}) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        if (unknown) machine->SetRecord({5, 0, 0, 3, ""});  // a platform id the library does not know
        CTestInf inf(Lists("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"}));
        EXPECT_EQ(S_OK, InstallDrivers(inf.Handle(), 1, nullptr));
        EXPECT_EQ((std::vector<std::string>{"created A", "started A", "created B", "started B"}),
                  Events(machine->Services()));
        machine->Services().ClearEvents();
        // No "UnInstallDevices": removal walks the same list, top to bottom.
        EXPECT_EQ(S_OK, InstallDrivers(inf.Handle(), 0, nullptr));
        EXPECT_EQ(
            (std::vector<std::string>{"asked to stop A", "stopped A", "marked for deletion A", "deleted A",
                                      "asked to stop B", "stopped B", "marked for deletion B", "deleted B"}),
            Events(machine->Services()));
        EXPECT_EQ(0u, winsim::OpenServiceHandleCount());
    }
}

TEST(ServiceLists, OnlyTheLastLinesLastActionCounts) {
    const ServiceScript fails{ServiceScript::Start::Fails, 1053, ServiceScript::Stop::AtOnce, 0};
    for (const char* failing : {"A", "B"}) {
        winsim::ScopedMachine machine(OsVersion::NT4);
        machine->Services().SetScript(failing, fails);
        CTestInf inf(Lists("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"}));
        EXPECT_EQ(*failing == 'B' ? E_FAIL : S_OK, InstallDrivers(inf.Handle(), 1, nullptr))
            << failing << " fails";
        // The walk went on past the failure: both exist.
        EXPECT_EQ(2u, machine->Services().List().size()) << failing << " fails";
    }
    // A service that exists already: creating it fails, starting it works, and that is the result.
    winsim::ScopedMachine machine(OsVersion::Win2000);
    CTestInf inf(Lists("[InstallDevices]\r\nA\r\n", {"A"}));
    Install(*machine, {"A"}, SERVICE_STOPPED);
    EXPECT_EQ(S_OK, InstallDrivers(inf.Handle(), 1, nullptr));
    EXPECT_EQ((std::vector<std::string>{"started A"}), Events(machine->Services()));
}

// Windows 95 and 98 visit the list but touch nothing; a missing or empty list runs nothing.
TEST(ServiceLists, NothingToActOnReturnsZero) {
    const std::pair<OsVersion, const char*> kRows[] = {
        {OsVersion::Win95, "[InstallDevices]\r\nA\r\n[InstallDevices.win95]\r\nA\r\n"},
        {OsVersion::Win98, "[InstallDevices]\r\nA\r\n[InstallDevices.win98]\r\nA\r\n"},
        {OsVersion::Win2000, "[Empty]\r\n"},
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.first);
        CTestInf inf(Lists(row.second, {"A"}));
        for (auto walk : kWalks) {
            EXPECT_EQ(S_OK, RunWalk(inf.Handle(), walk)) << row.second;
            EXPECT_EQ(S_OK, RunWalk(inf.Handle(), walk, "Empty")) << row.second;
        }
        EXPECT_EQ(S_OK, SetupInstallDrivers(kInfPath));
        EXPECT_EQ(S_OK, SetupUnInstallDrivers(kInfPath));
        EXPECT_EQ(S_OK, SetupStopServices(kInfPath));
        EXPECT_TRUE(machine->Services().Events().empty()) << row.second;
    }
}

TEST(ServiceListWrappers, OpenTheInfByPath) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    { CTestInf written(Lists("[InstallDevices]\r\nA\r\nB\r\n", {"A", "B"})); }
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
