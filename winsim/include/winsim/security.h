// The machine's security state on the NT family: the accounts' SIDs and tokens, which token each
// thread impersonates, and registry key security (owner, group and DACL of each key, their SDDL text
// form and the machine-folder text of the keys whose security was changed).
//
// Accounts (Machine::CallerAccount) and the tokens Windows 2000 gives them:
//   LocalSystem    user S-1-5-18; groups Administrators (owner), Everyone, Authenticated Users
//   Administrator  user S-1-5-21-<machine>-500; groups None (<machine>-513), Everyone,
//                  Administrators (owner), Users, Interactive, Authenticated Users, the logon SID
//                  S-1-5-5-0-<n>, and LOCAL (S-1-2-0, Windows 2000 and later)
//   User           user S-1-5-21-<machine>-1000; the same groups without Administrators
// <machine> is 1085031214-1563985344-725345543 on every simulated machine, so that the
// Administrator's SID is the one HKEY_CURRENT_USER shows (Registry::kDefaultNtUserSid). Every group
// is enabled; the token's default owner is Administrators for a member, else the user. No privileges
// are simulated.
//
// Threads: "a thread" is the host thread making the call; each keeps its impersonation token here,
// keyed by its thread id (GetCurrentThreadId), until it reverts or the machine goes.
//
// Key security: each key of the NT family has a security descriptor. A key nobody gave one has its
// hive's default (winsim does not model inheritance: a key created below a key with explicit
// security gets the default too):
//   HKEY_LOCAL_MACHINE  O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)
//   HKEY_USERS          O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KA;;;IU)(A;CI;KR;;;WD)
// (the interactive user has full control of the user profiles instead of each profile's own user).
// The access check (opening or creating a key with RegOpenKeyExA/RegCreateKeyExA, deleting it) uses
// the calling thread's impersonation token if it has one, else the process token: entries apply in
// order, a deny entry keeps its rights from later allow entries, inherit-only entries are skipped;
// the owner always has READ_CONTROL and WRITE_DAC; a null DACL grants everything, an empty one
// nothing else. MAXIMUM_ALLOWED grants what the check allows, and fails when that is nothing.
//
// SDDL: as Windows writes it ("O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)"): well-known SIDs
// by their abbreviations (SY, BA, BU, BG, PU, WD, AU, IU, NU, SU, AN, LS, NS, CO, CG, RC, PS, ED),
// other SIDs as S-1-...; rights KA, KR, KW, GA, GR, GW, GX when the mask is exactly that, else hex;
// ACE flags OI, CI, NP, IO, ID; DACL flags P, AI, AR; a null DACL as D:NO_ACCESS_CONTROL. Parsing also
// takes the single-right letters (RC, SD, WD, WO, CC, DC, LC, SW, RP, WP, DT, LO, CR, KX) and decimal
// or hex masks. A SACL (S:) is neither kept nor written.
#pragma once

#include <winsim/api/advapi32_security.h>
#include <winsim/machine.h>
#include <winsim/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// A SID as its bytes (the SDK's SID layout).
using SidBytes = std::vector<BYTE>;

// "S-1-5-18", or an SDDL abbreviation ("SY"); nullopt when it is neither.
std::optional<SidBytes> ParseSid(std::string_view text);
// "S-1-5-32-544" (never an abbreviation).
std::string SidText(const SidBytes& sid);
SidBytes MakeSid(BYTE authority, std::initializer_list<DWORD> subAuthorities);

struct SecurityAce {
    BYTE type = ACCESS_ALLOWED_ACE_TYPE;
    BYTE flags = 0;
    ACCESS_MASK mask = 0;
    SidBytes sid;
    bool operator==(const SecurityAce& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};

// A security descriptor in plain form.
struct SecurityDescriptorData {
    std::optional<SidBytes> owner;
    std::optional<SidBytes> group;
    // nullopt: a null DACL (or none), which grants everything.
    std::optional<std::vector<SecurityAce>> dacl;
    // SE_DACL_PROTECTED, SE_DACL_AUTO_INHERITED, ... (SE_DACL_PRESENT follows from dacl).
    SECURITY_DESCRIPTOR_CONTROL daclFlags = 0;
    bool operator==(const SecurityDescriptorData& other) const {
        return owner == other.owner && group == other.group && dacl == other.dacl && daclFlags == other.daclFlags;
    }
};

std::string ToSddl(const SecurityDescriptorData& descriptor);
bool ParseSddl(std::string_view sddl, SecurityDescriptorData* descriptor, std::string* error);
// The self-relative form Windows hands out (SACL, DACL, owner, group after the header); the parts
// left out of `parts` (OWNER_SECURITY_INFORMATION, ...) are absent.
std::vector<BYTE> ToSelfRelative(const SecurityDescriptorData& descriptor,
                                 SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                              DACL_SECURITY_INFORMATION);
// Reads an absolute or self-relative descriptor; false when it is not a valid one.
bool ReadDescriptor(const void* descriptor, SecurityDescriptorData* out);

// An access token.
struct Token {
    Machine::Account account = Machine::Account::Administrator;
    TOKEN_TYPE type = TokenPrimary;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;  // impersonation tokens only
    // GetTokenInformation(TokenGroups) fails with ERROR_ACCESS_DENIED.
    bool groupsUnreadable = false;
    SidBytes user;
    std::vector<std::pair<SidBytes, DWORD>> groups;  // SID and SE_GROUP_* attributes, in token order
    SidBytes defaultOwner;

    // Whether the SID is the user or an enabled group.
    bool Holds(const SidBytes& sid) const;
    // Whether the SID may be made an object's owner: the user or a group marked SE_GROUP_OWNER.
    bool MayOwn(const SidBytes& sid) const;
};

class Security {
public:
    explicit Security(Machine& machine);
    ~Security();
    Security(const Security&) = delete;
    Security& operator=(const Security&) = delete;

    SidBytes AccountSid(Machine::Account account) const;
    // A new token of the account.
    std::shared_ptr<Token> MakeToken(Machine::Account account, TOKEN_TYPE type,
                                     SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous) const;
    // The process token (the caller's account as it is now).
    std::shared_ptr<const Token> ProcessToken() const;
    // The calling thread's impersonation token; null when it does not impersonate.
    std::shared_ptr<const Token> ThreadToken() const;
    void SetThreadToken(std::shared_ptr<const Token> token);
    // The token access checks use: the thread's, else the process's.
    std::shared_ptr<const Token> EffectiveToken() const;

    // For tests: the calling thread impersonates the account, as a service impersonates a client, at
    // that level; `groupsUnreadable` gives it a token whose groups cannot be read.
    void ImpersonateOnThisThread(Machine::Account account, SECURITY_IMPERSONATION_LEVEL level = SecurityImpersonation,
                                 bool groupsUnreadable = false);
    void StopImpersonatingOnThisThread() { SetThreadToken(nullptr); }
    // The account the calling thread impersonates, if it does.
    std::optional<Machine::Account> ImpersonatedAccount() const;

    // Key security for tests and tools, free of access rules (paths as Registry takes them). On
    // 95/98, which have no key security, KeySecurity answers nullopt and the setters fail.
    std::optional<SecurityDescriptorData> KeySecurity(std::string_view path) const;
    std::optional<std::string> KeySecuritySddl(std::string_view path) const;
    bool SetKeySecurity(std::string_view path, const SecurityDescriptorData& descriptor);
    bool SetKeySecuritySddl(std::string_view path, std::string_view sddl, std::string* error);
    // Back to the hive's default.
    bool ResetKeySecurity(std::string_view path);

    // What programs wrote with RegSetKeySecurity since the journal was last cleared, oldest first: the
    // key's path and its whole security afterwards in SDDL. A tool shows it for keys that the same call
    // went on to remove, whose security is gone by the time it looks.
    struct KeySecurityWrite {
        std::string key;
        std::string sddl;
    };
    const std::vector<KeySecurityWrite>& KeySecurityWrites() const { return writes_; }
    void ClearKeySecurityWrites() { writes_.clear(); }
    // For RegSetKeySecurity, after it stored the key's new security.
    void NoteKeySecurityWritten(std::string key, const SecurityDescriptorData& descriptor);

    // Machine-folder text: one line per key whose security differs from its default, in key order,
    //   HKEY_LOCAL_MACHINE\Software\Korvane=O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)
    // Loading sets each named key's security (blank lines and lines starting with '#' or ';' are
    // skipped); it stops at the first bad line (an unknown key, bad SDDL) and names it in *error.
    std::string SaveSecurityText() const;
    bool LoadSecurityText(std::string_view text, std::string* error);

private:
    Machine& machine_;
    mutable std::mutex lock_;
    std::map<DWORD, std::shared_ptr<const Token>> threadTokens_;
    std::vector<KeySecurityWrite> writes_;
};

}  // namespace winsim
