// Key protection and the account checks behind it, per account and Windows version.
#include "cleanup/cleanup_testing.h"
#include "kvisinst/security/protect.h"
#include "kvisinst/security/token.h"

#include <winsim/registry.h>
#include <winsim/security.h>

namespace {

using winsim::Machine;
using winsim::OsVersion;
using Account = Machine::Account;

const std::string kTree = "HKEY_LOCAL_MACHINE\\Software\\Korvane";
const std::string kProduct = kTree + "\\QuillexPro";
const std::string kDefault = "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)";
// Held by the product key's innermost child before the call: entries that must not survive.
const std::string kForeign = "O:BAG:BUD:(A;CI;KA;;;BA)(A;;KR;;;BU)(A;;KA;;;WD)";
const char* const kKeys[] = {"", "\\Readers", "\\Readers\\Local"};

TEST(ProtectKey, RewritesEachKeyOfTheTreeAsTheAccountMay) {
    struct Row {
        OsVersion version;
        Account account;
        DWORD everyoneAccess;
        LONG result;
        const char* sddl;  // of every key afterwards; null: each keeps what it had
        size_t visits;
    } const rows[] = {
        {OsVersion::Win2000, Account::LocalSystem, 0x30019, 0, "O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)",
         3},
        // May not make the local system account owner: that write fails, the other two are made.
        {OsVersion::Win2000, Account::Administrator, 0x30019, 1, "O:BAG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)",
         3},
        {OsVersion::NT4, Account::LocalSystem, 0, 0, "O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)", 3},
        {OsVersion::Win2000, Account::User, 0x30019, 0, nullptr, 3},
        {OsVersion::Win98, Account::Administrator, 0x30019, 0, nullptr, 1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        winsim::ScopedMachine machine(row.version);
        tracetest::SetDword("TraceEntryExit", 1);
        tracetest::SetDword("PrintTime", 0);
        cleanuptest::TraceOn(*machine);
        const bool nt = winsim::IsNtFamily(row.version);
        ASSERT_TRUE(machine->Reg().CreateKey(kProduct + kKeys[2]));
        if (nt) {
            ASSERT_TRUE(machine->Security().SetKeySecuritySddl(kProduct + kKeys[2], kForeign, nullptr));
        }
        const std::string before = machine->Reg().SaveRegText();
        machine->SetCallerAccount(row.account);

        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Korvane\\QuillexPro", &key));
        EXPECT_EQ(row.result, ProtectKey(key, row.everyoneAccess, TRUE)) << i;
        RegCloseKey(key);

        for (const char* sub : kKeys) {
            const auto sddl = machine->Security().KeySecuritySddl(kProduct + sub);
            const std::string unchanged = sub == kKeys[2] ? kForeign : kDefault;
            if (nt) {
                EXPECT_EQ(row.sddl ? row.sddl : unchanged, sddl.value_or("none")) << i << sub;
            }
        }
        EXPECT_EQ(before, machine->Reg().SaveRegText()) << i;
        EXPECT_EQ(0u, machine->Reg().OpenHandleCount()) << i;
        EXPECT_EQ(row.visits, cleanuptest::CountContaining(tracetest::TraceLines(), ">>>ProtectKey()")) << i;
    }
}

TEST(DeleteProductRegistryTree, TakesTheTreeWithOrWithoutTheShellsHelp) {
    struct Row {
        OsVersion version;
        bool shlwapi;
        const char* subkey;  // created below the tree; null: no tree at all
        LONG result;
        bool gone;
    } const rows[] = {
        {OsVersion::Win98, false, "\\QuillexPro\\Readers", ERROR_FILE_NOT_FOUND, true},
        {OsVersion::Win2000, true, "\\QuillexPro\\Readers", ERROR_FILE_NOT_FOUND, true},
        {OsVersion::Win2000, false, "\\QuillexPro\\Readers", ERROR_ACCESS_DENIED, false},
        {OsVersion::Win2000, false, "", ERROR_FILE_NOT_FOUND, true},
        {OsVersion::Win2000, true, nullptr, ERROR_FILE_NOT_FOUND, true},
    };
    for (const Row& row : rows) {
        winsim::ScopedMachine machine(row.version);
        machine->SetInternetExplorerInstalled(row.shlwapi);
        // A second call in the same process has the shell's help again.
        for (int call = 0; call < 2; ++call) {
            if (row.subkey) {
                ASSERT_TRUE(machine->Reg().CreateKey(kTree + row.subkey));
            }
            EXPECT_EQ(row.result, DeleteProductRegistryTree()) << row.subkey << call;
            EXPECT_EQ(!row.gone, machine->Reg().KeyExists(kTree)) << row.subkey << call;
            EXPECT_EQ(nullptr, GetModuleHandleA("SHLWAPI.DLL"));
            EXPECT_EQ(0u, machine->Reg().OpenHandleCount());
        }
    }
}

TEST(AccountChecks, AnswerForTheThreadsTokenAndLeaveItsImpersonationAlone) {
    struct Row {
        OsVersion version;
        Account process;
        std::optional<Account> thread;
        bool groupsUnreadable;
        BOOL localSystem, administrator;
    } const rows[] = {
        {OsVersion::Win2000, Account::LocalSystem, std::nullopt, false, TRUE, TRUE},
        {OsVersion::NT4, Account::Administrator, std::nullopt, false, FALSE, TRUE},
        {OsVersion::Win2000, Account::User, std::nullopt, false, FALSE, FALSE},
        {OsVersion::Win2000, Account::Administrator, Account::User, false, FALSE, FALSE},
        {OsVersion::Win2000, Account::User, Account::LocalSystem, false, TRUE, TRUE},
        {OsVersion::Win2000, Account::User, Account::Administrator, false, FALSE, TRUE},
        {OsVersion::Win2000, Account::Administrator, Account::Administrator, true, FALSE, FALSE},
        {OsVersion::Win98, Account::Administrator, std::nullopt, false, FALSE, FALSE},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        winsim::ScopedMachine machine(row.version);
        machine->SetCallerAccount(row.process);
        auto& security = machine->Security();
        if (row.thread) security.ImpersonateOnThisThread(*row.thread, SecurityImpersonation, row.groupsUnreadable);
        if (winsim::IsNtFamily(row.version)) {
            EXPECT_EQ(row.localSystem, IsLocalSystem()) << i;
        }
        EXPECT_EQ(row.administrator, IsAdministrator()) << i;
        EXPECT_EQ(row.thread, security.ImpersonatedAccount()) << i;
        security.StopImpersonatingOnThisThread();
    }
}

}  // namespace
