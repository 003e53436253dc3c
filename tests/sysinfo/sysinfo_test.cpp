// The machine questions: domain controller per role and version, service pack from the CSD text, and
// release 1.0's logon components found by their product version.
#include "cleanup/cleanup_testing.h"
#include "kvisinst/exports.h"

#include <winsim/files.h>
#include <winsim/peimage.h>

namespace {

using winsim::OsVersion;
using Role = winsim::Machine::ServerRole;

constexpr char kRelease100[] = "RC 1.0.33, February 3rd, 2000";

TEST(IsDomainController, ReadsTheServerTypeOfTheRecordTheServerGives) {
    struct Row {
        OsVersion version;
        Role role;
        winsim::Machine::Account account;  // User: level 102 is refused, 101 answers
        bool serverRunning;
        int result;
    } const rows[] = {
        {OsVersion::Win98, Role::PrimaryController, winsim::Machine::Account::Administrator, true, 0},
        {OsVersion::NT4, Role::Workstation, winsim::Machine::Account::Administrator, true, 0},
        {OsVersion::NT4, Role::PrimaryController, winsim::Machine::Account::Administrator, true, 1},
        {OsVersion::Win2000, Role::MemberServer, winsim::Machine::Account::Administrator, true, 0},
        {OsVersion::Win2000, Role::BackupController, winsim::Machine::Account::User, true, 1},
        {OsVersion::Win2000, Role::PrimaryController, winsim::Machine::Account::Administrator, false, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        winsim::ScopedMachine machine(rows[i].version);
        machine->SetServerRole(rows[i].role);
        machine->SetCallerAccount(rows[i].account);
        machine->SetServerServiceRunning(rows[i].serverRunning);
        EXPECT_EQ(rows[i].result, IsDomainController()) << i;
        // Loaded on the NT family only, and kept there.
        EXPECT_EQ(winsim::IsNtFamily(rows[i].version), GetModuleHandleA("NETAPI32.DLL") != nullptr) << i;
    }
}

TEST(GetServicePackNumber, ReadsTheNumberAfterServicePackAsAtolDoes) {
    struct Row {
        const char* csd;
        int number;
    } const rows[] = {
        {"Service Pack 6a", 6},
        {"", 0},
        {" A", 0},
        {"Service Pack ", 0},
        {"Service Pack -3", -3},
        {"service pack 2", 0},
        {"Beta Service Pack\t+12 RC", 12},
        {"Service Pack 99999999999", 2147483647},
        {"Service Pack -99999999999", -2147483647 - 1},
    };
    for (const Row& row : rows) {
        winsim::ScopedMachine machine(OsVersion::NT4);
        winsim::VersionRecord record = machine->Record();
        record.csd = row.csd;
        machine->SetRecord(record);
        EXPECT_EQ(row.number, GetServicePackNumber()) << row.csd;
    }
    winsim::ScopedMachine machine(OsVersion::NT4);
    machine->SetVersionQueryFails(true);
    EXPECT_EQ(0, GetServicePackNumber());
}

TEST(IsVer100, LooksForTheReleaseProductVersionInEitherLogonComponent) {
    struct Row {
        const char* gina;  // KVGina.dll's product version; null: no file
        const char* np;    // KVNP.dll's
        bool translation;  // whether the files carry a translation table
        int result;
    } const rows[] = {
        {nullptr, nullptr, true, 0},
        {kRelease100, nullptr, true, 1},
        {"rc 1.0.33, february 3rd, 2000", nullptr, true, 0},
        {"RC 1.0.33, February 3rd, 2000 ", nullptr, true, 0},
        {"", kRelease100, true, 1},
        {kRelease100, "RC 1.0.34", true, 1},
        {nullptr, kRelease100, false, 1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        winsim::ScopedMachine machine(OsVersion::Win2000);
        cleanuptest::TraceOn(*machine);
        for (const auto& [name, version] : {std::pair{"KVGina.dll", row.gina}, std::pair{"KVNP.dll", row.np}}) {
            if (!version) continue;
            winsim::VersionResourceFields fields;
            fields.translation = row.translation;
            if (*version) fields.strings = {{"ProductVersion", version}};
            const auto image = winsim::BuildPeImage(winsim::BuildVersionBlock(fields), false);
            ASSERT_TRUE(winsim::WriteWholeFile(machine->SystemDirectory() + "\\" + name,
                                               std::string(image.begin(), image.end())));
        }
        EXPECT_EQ(row.result, IsVer100()) << i;
        EXPECT_EQ(1u, cleanuptest::CountEndingWith(tracetest::TraceLines(), row.result ? "IT IS!" : "IT IS NOT!")) << i;
    }
}

}  // namespace
