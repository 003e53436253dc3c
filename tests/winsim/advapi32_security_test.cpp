// The security calls: SIDs, ACLs and descriptors in the caller's memory, tokens and impersonation,
// and registry key security through RegSetKeySecurity, RegGetKeySecurity and the access checks.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/security.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::Machine;
using winsim::OsVersion;
using winsim::ScopedMachine;

namespace {

SID_IDENTIFIER_AUTHORITY kNt = SECURITY_NT_AUTHORITY;
SID_IDENTIFIER_AUTHORITY kWorld = SECURITY_WORLD_SID_AUTHORITY;

std::vector<BYTE> Sid(SID_IDENTIFIER_AUTHORITY authority, std::vector<DWORD> subs) {
    std::vector<BYTE> sid(GetSidLengthRequired(static_cast<BYTE>(subs.size())));
    EXPECT_TRUE(InitializeSid(sid.data(), &authority, static_cast<BYTE>(subs.size())));
    for (size_t i = 0; i < subs.size(); ++i) *GetSidSubAuthority(sid.data(), static_cast<DWORD>(i)) = subs[i];
    return sid;
}

std::string Text(PSID sid) {
    return winsim::SidText(winsim::SidBytes(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid)));
}

// The token's user and groups as text, through the two-step size query.
std::string TokenText(HANDLE token, TOKEN_INFORMATION_CLASS cls) {
    DWORD size = 0;
    EXPECT_FALSE(GetTokenInformation(token, cls, nullptr, 0, &size));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(GetTokenInformation(token, cls, buffer.data(), size, &size));
    if (cls == TokenUser) return Text(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    std::string text;
    for (DWORD i = 0; i < groups->GroupCount; ++i) text += Text(groups->Groups[i].Sid) + " ";
    return text;
}

// The descriptor ProtectKey-style code builds: owner, group, DACL of allowed entries.
struct Descriptor {
    SECURITY_DESCRIPTOR sd;
    std::vector<BYTE> owner, group, acl;
    Descriptor(std::vector<BYTE> o, std::vector<BYTE> g, const std::vector<std::pair<std::vector<BYTE>, DWORD>>& allow)
        : owner(std::move(o)), group(std::move(g)), acl(256) {
        EXPECT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
        EXPECT_TRUE(SetSecurityDescriptorOwner(&sd, owner.data(), FALSE));
        EXPECT_TRUE(SetSecurityDescriptorGroup(&sd, group.data(), FALSE));
        EXPECT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl.data()), 256, ACL_REVISION));
        for (auto& entry : allow)
            EXPECT_TRUE(AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, entry.second,
                                            const_cast<BYTE*>(entry.first.data())));
        EXPECT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE));
    }
};

std::string KeySddl(HKEY key) {
    DWORD size = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, RegGetKeySecurity(key, 7, nullptr, &size));
    std::vector<BYTE> buffer(size);
    EXPECT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key, 7, buffer.data(), &size));
    winsim::SecurityDescriptorData d;
    EXPECT_TRUE(winsim::ReadDescriptor(buffer.data(), &d));
    return winsim::ToSddl(d);
}

TEST(SecurityCalls, SidsAreBuiltComparedAndCopiedAsOnWindows) {
    ScopedMachine machine(OsVersion::Win2000);
    auto admins = Sid(kNt, {32, 544});
    EXPECT_EQ(16u, admins.size());
    EXPECT_EQ("S-1-5-32-544", Text(admins.data()));
    PSID allocated = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&kNt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &allocated));
    EXPECT_TRUE(EqualSid(admins.data(), allocated));
    EXPECT_FALSE(EqualSid(Sid(kNt, {18}).data(), allocated));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(nullptr, FreeSid(allocated));

    std::vector<BYTE> copy(15);
    EXPECT_FALSE(CopySid(15, copy.data(), admins.data()));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    std::vector<BYTE> bad = admins;
    bad[0] = 2;
    EXPECT_FALSE(IsValidSid(bad.data()));
    EXPECT_FALSE(InitializeSid(copy.data(), &kNt, 16));
}

TEST(SecurityCalls, AclsCheckSizesAndRevisions) {
    struct Row {
        OsVersion version;
        DWORD size, revision, error;
    } rows[] = {
        {OsVersion::Win2000, sizeof(ACL) - 1, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER},
        {OsVersion::Win2000, 0x10000, ACL_REVISION, ERROR_INVALID_PARAMETER},
        {OsVersion::Win2000, 64, 1, ERROR_INVALID_PARAMETER},
        {OsVersion::NT4, 64, ACL_REVISION_DS, ERROR_INVALID_PARAMETER},
        {OsVersion::Win2000, 64, ACL_REVISION_DS, ERROR_SUCCESS},
    };
    for (const auto& row : rows) {
        ScopedMachine machine(row.version);
        BYTE buffer[64];
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(row.error == ERROR_SUCCESS, !!InitializeAcl(reinterpret_cast<PACL>(buffer), row.size, row.revision));
        EXPECT_EQ(row.error, GetLastError()) << row.size << " " << row.revision;
    }
}

TEST(SecurityCalls, AnAclGrowsByCopyingItsEntriesAndAppending) {
    ScopedMachine machine(OsVersion::Win2000);
    auto system = Sid(kNt, {18}), world = Sid(kWorld, {0});
    std::vector<BYTE> small(sizeof(ACL) + 8 + system.size());
    auto* acl = reinterpret_cast<PACL>(small.data());
    ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(small.size()), ACL_REVISION));
    EXPECT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, system.data()));
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, world.data()));
    EXPECT_EQ(DWORD(ERROR_ALLOTTED_SPACE_EXCEEDED), GetLastError());

    ACL_SIZE_INFORMATION info{};
    ASSERT_TRUE(GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    EXPECT_EQ(1u, info.AceCount);
    EXPECT_EQ(small.size(), info.AclBytesInUse);
    EXPECT_EQ(0u, info.AclBytesFree);

    std::vector<BYTE> large(info.AclBytesInUse + world.size() + 16);
    auto* grown = reinterpret_cast<PACL>(large.data());
    ASSERT_TRUE(InitializeAcl(grown, static_cast<DWORD>(large.size()), ACL_REVISION));
    EXPECT_TRUE(AddAccessAllowedAce(grown, ACL_REVISION, KEY_READ, world.data()));
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, &ace));
    EXPECT_FALSE(GetAce(acl, 1, &ace));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    ASSERT_TRUE(GetAce(acl, 0, &ace));
    // MAXDWORD appends after the entry already there.
    EXPECT_TRUE(AddAce(grown, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize));
    ASSERT_TRUE(GetAce(grown, 1, &ace));
    EXPECT_EQ(DWORD(KEY_ALL_ACCESS), static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask);
}

TEST(SecurityCalls, DescriptorsReadBackInBothForms) {
    ScopedMachine machine(OsVersion::Win2000);
    SECURITY_DESCRIPTOR sd;
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(DWORD(ERROR_UNKNOWN_REVISION), GetLastError());
    Descriptor d(Sid(kNt, {18}), Sid(kNt, {32, 544}), {{Sid(kWorld, {0}), 0x30019}});
    EXPECT_TRUE(IsValidSecurityDescriptor(&d.sd));

    DWORD size = 0;
    EXPECT_FALSE(MakeSelfRelativeSD(&d.sd, nullptr, &size));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    std::vector<BYTE> relative(size);
    ASSERT_TRUE(MakeSelfRelativeSD(&d.sd, relative.data(), &size));
    EXPECT_EQ(size, GetSecurityDescriptorLength(relative.data()));
    PSID owner = nullptr;
    BOOL defaulted = TRUE, present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(relative.data(), &owner, &defaulted));
    EXPECT_EQ("S-1-5-18", Text(owner));
    EXPECT_FALSE(defaulted);
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(1, dacl->AceCount);
    // A self-relative descriptor cannot take pointers.
    EXPECT_FALSE(SetSecurityDescriptorOwner(relative.data(), nullptr, FALSE));
}

TEST(SecurityCalls, TheProcessTokenShowsTheCallersAccount) {
    const struct {
        Machine::Account account;
        const char* user;
        bool administrator;
    } rows[] = {
        {Machine::Account::LocalSystem, "S-1-5-18", true},
        {Machine::Account::Administrator, "S-1-5-21-1085031214-1563985344-725345543-500", true},
        {Machine::Account::User, "S-1-5-21-1085031214-1563985344-725345543-1000", false},
    };
    for (const auto& row : rows) {
        ScopedMachine machine(OsVersion::Win2000);
        machine->SetCallerAccount(row.account);
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        EXPECT_EQ(row.user, TokenText(token, TokenUser));
        const std::string groups = TokenText(token, TokenGroups);
        EXPECT_NE(std::string::npos, groups.find("S-1-1-0 "));
        EXPECT_EQ(row.administrator, groups.find("S-1-5-32-544 ") != std::string::npos) << groups;
        EXPECT_TRUE(CloseHandle(token));
    }
}

TEST(SecurityCalls, AThreadImpersonatesAndReverts) {
    ScopedMachine machine(OsVersion::Win2000);
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(DWORD(ERROR_NO_TOKEN), GetLastError());

    machine->Security().ImpersonateOnThisThread(Machine::Account::User);
    HANDLE client = nullptr;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), MAXIMUM_ALLOWED, TRUE, &client));
    EXPECT_EQ("S-1-5-21-1085031214-1563985344-725345543-1000", TokenText(client, TokenUser));
    ASSERT_TRUE(RevertToSelf());
    EXPECT_FALSE(machine->Security().ImpersonatedAccount());
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
    EXPECT_EQ(Machine::Account::Administrator, machine->Security().ImpersonatedAccount());
    ASSERT_TRUE(SetThreadToken(nullptr, client));
    EXPECT_EQ(Machine::Account::User, machine->Security().ImpersonatedAccount());
    EXPECT_TRUE(CloseHandle(client));

    HANDLE primary = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, &primary));
    EXPECT_FALSE(SetThreadToken(nullptr, primary));
    EXPECT_EQ(DWORD(ERROR_BAD_TOKEN_TYPE), GetLastError());
    CloseHandle(primary);
}

TEST(SecurityCalls, SomeImpersonationTokensCannotBeOpenedOrRead) {
    const struct {
        SECURITY_IMPERSONATION_LEVEL level;
        bool groupsUnreadable;
        BOOL openAsSelf;
        DWORD openError, groupsError;
    } rows[] = {
        {SecurityAnonymous, false, TRUE, ERROR_CANT_OPEN_ANONYMOUS, 0},
        {SecurityIdentification, false, FALSE, ERROR_BAD_IMPERSONATION_LEVEL, 0},
        {SecurityIdentification, false, TRUE, ERROR_SUCCESS, ERROR_INSUFFICIENT_BUFFER},
        {SecurityImpersonation, true, TRUE, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
    };
    for (const auto& row : rows) {
        ScopedMachine machine(OsVersion::Win2000);
        machine->Security().ImpersonateOnThisThread(Machine::Account::Administrator, row.level, row.groupsUnreadable);
        HANDLE token = nullptr;
        SetLastError(ERROR_SUCCESS);
        const BOOL opened = OpenThreadToken(GetCurrentThread(), MAXIMUM_ALLOWED, row.openAsSelf, &token);
        EXPECT_EQ(row.openError, GetLastError()) << row.level;
        if (!opened) continue;
        DWORD size = 0;
        EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &size));
        EXPECT_EQ(row.groupsError, GetLastError());
        CloseHandle(token);
    }
}

TEST(SecurityCalls, Windows98HasStubs) {
    ScopedMachine machine(OsVersion::Win98);
    HANDLE token = nullptr;
    SECURITY_DESCRIPTOR sd;
    PSID sid = nullptr;
    const BOOL results[] = {
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token),
        OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token),
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION),
        AllocateAndInitializeSid(&kNt, 1, 18, 0, 0, 0, 0, 0, 0, 0, &sid),
        ImpersonateSelf(SecurityImpersonation),
    };
    for (BOOL result : results) EXPECT_FALSE(result);
    EXPECT_EQ(DWORD(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
    DWORD size = 0;
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, RegGetKeySecurity(HKEY_LOCAL_MACHINE, 7, nullptr, &size));
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, RegSetKeySecurity(HKEY_LOCAL_MACHINE, 4, &sd));
}

// ---- key security ----

TEST(KeySecurity, OnlyTheOwnersTheCallerMayTakeAreSet) {
    const struct {
        Machine::Account account;
        LONG owner, group, dacl;
        const char* after;
    } rows[] = {
        {Machine::Account::LocalSystem, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS,
         "O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)"},
        {Machine::Account::Administrator, ERROR_INVALID_OWNER, ERROR_SUCCESS, ERROR_SUCCESS,
         "O:BAG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)"},
        {Machine::Account::User, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
         "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)"},
    };
    for (const auto& row : rows) {
        ScopedMachine machine(OsVersion::Win2000);
        machine->Reg().CreateKey("HKLM\\Software\\Korvane");
        machine->SetCallerAccount(row.account);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Korvane", &key));
        Descriptor d(
            Sid(kNt, {18}), Sid(kNt, {32, 544}),
            {{Sid(kNt, {18}), KEY_ALL_ACCESS}, {Sid(kNt, {32, 544}), KEY_ALL_ACCESS}, {Sid(kWorld, {0}), 0x30019}});
        EXPECT_EQ(row.owner, RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, &d.sd));
        EXPECT_EQ(row.group, RegSetKeySecurity(key, GROUP_SECURITY_INFORMATION, &d.sd));
        EXPECT_EQ(row.dacl, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &d.sd));
        EXPECT_EQ(row.after, *machine->Security().KeySecuritySddl("HKLM\\Software\\Korvane"));
        // The journal holds each write that took, with the key's whole security after it.
        const auto& writes = machine->Security().KeySecurityWrites();
        EXPECT_EQ(row.dacl == ERROR_SUCCESS ? 2u + (row.owner == ERROR_SUCCESS) : 0u, writes.size());
        if (!writes.empty()) {
            EXPECT_EQ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane|" + std::string(row.after),
                      writes.back().key + "|" + writes.back().sddl);
        }
        RegCloseKey(key);
    }
}

TEST(KeySecurity, OpeningFollowsTheDaclTheKeyHasNow) {
    const struct {
        const char* sddl;
        Machine::Account account;
        REGSAM access;
        LONG status;
    } rows[] = {
        {"O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)", Machine::Account::User, KEY_READ, ERROR_SUCCESS},
        {"O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)", Machine::Account::User, KEY_SET_VALUE,
         ERROR_ACCESS_DENIED},
        {"O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)", Machine::Account::User, MAXIMUM_ALLOWED, ERROR_ACCESS_DENIED},
        {"O:SYG:BAD:(D;;KW;;;BA)(A;;KA;;;BA)", Machine::Account::Administrator, KEY_SET_VALUE, ERROR_ACCESS_DENIED},
        {"O:SYG:BAD:", Machine::Account::Administrator, KEY_READ, ERROR_ACCESS_DENIED},
        {"O:BAG:BAD:", Machine::Account::Administrator, READ_CONTROL | WRITE_DAC, ERROR_SUCCESS},
        {"O:SYG:BAD:NO_ACCESS_CONTROL", Machine::Account::User, KEY_ALL_ACCESS, ERROR_SUCCESS},
        {"O:SYG:BAD:(A;CIIO;KA;;;BU)", Machine::Account::User, KEY_READ, ERROR_ACCESS_DENIED},
    };
    for (const auto& row : rows) {
        ScopedMachine machine(OsVersion::NT4);
        machine->Reg().CreateKey("HKLM\\Software\\Korvane");
        ASSERT_TRUE(machine->Security().SetKeySecuritySddl("HKLM\\Software\\Korvane", row.sddl, nullptr));
        machine->SetCallerAccount(row.account);
        HKEY key = nullptr;
        EXPECT_EQ(row.status, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane", 0, row.access, &key)) << row.sddl;
        if (key) RegCloseKey(key);
    }
}

TEST(KeySecurity, AHandleKeepsWhatItWasGranted) {
    ScopedMachine machine(OsVersion::Win2000);
    machine->Reg().CreateKey("HKLM\\Software\\Korvane");
    machine->SetCallerAccount(Machine::Account::User);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane\\New", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Korvane", &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, RegGetKeySecurity(key, 7, nullptr, &size));
    const BYTE data[4] = {};
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(key, "v", 0, REG_DWORD, data, 4));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane", 0, KEY_QUERY_VALUE, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegGetKeySecurity(key, 7, nullptr, &size));
    RegCloseKey(key);

    machine->SetCallerAccount(Machine::Account::Administrator);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Korvane", &key));
    EXPECT_EQ(*machine->Security().KeySecuritySddl("HKLM\\Software\\Korvane"), KeySddl(key));
    RegCloseKey(key);
}

}  // namespace
