// The machine's security state: SIDs and their text, descriptors in their binary and SDDL forms, the
// accounts' tokens, per-thread impersonation, and registry key security (defaults, access checks,
// machine-folder text).
#include "security_internal.h"

#include <winsim/win32api.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winsim {

namespace {

// The machine-local account domain every simulated machine has (see security.h).
constexpr DWORD kMachineDomain[3] = {1085031214, 1563985344, 725345543};
constexpr DWORD kLogonSession = 48793;

const char* const kLocalMachineDefault = "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;WD)";
const char* const kUsersDefault = "O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KA;;;IU)(A;CI;KR;;;WD)";

struct SidAbbreviation {
    const char* name;
    const char* sid;
};
const SidAbbreviation kSidAbbreviations[] = {
    {"SY", "S-1-5-18"},     {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"},
    {"PU", "S-1-5-32-547"}, {"AO", "S-1-5-32-548"}, {"SO", "S-1-5-32-549"}, {"PO", "S-1-5-32-550"},
    {"BO", "S-1-5-32-551"}, {"RE", "S-1-5-32-552"}, {"RU", "S-1-5-32-554"}, {"WD", "S-1-1-0"},
    {"AU", "S-1-5-11"},     {"IU", "S-1-5-4"},      {"NU", "S-1-5-2"},      {"SU", "S-1-5-6"},
    {"AN", "S-1-5-7"},      {"LS", "S-1-5-19"},     {"NS", "S-1-5-20"},     {"CO", "S-1-3-0"},
    {"CG", "S-1-3-1"},      {"RC", "S-1-5-12"},     {"PS", "S-1-5-10"},     {"ED", "S-1-5-9"},
};

struct RightName {
    const char* name;
    ACCESS_MASK mask;
};
// Whole masks written by name; every other mask is written in hex.
const RightName kWholeRights[] = {
    {"KA", KEY_ALL_ACCESS}, {"KR", KEY_READ},      {"KW", KEY_WRITE},       {"GA", GENERIC_ALL},
    {"GR", GENERIC_READ},   {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
};
// Read only.
const RightName kSingleRights[] = {
    {"KX", KEY_EXECUTE}, {"RC", READ_CONTROL}, {"SD", DELETE}, {"WD", WRITE_DAC}, {"WO", WRITE_OWNER},
    {"CC", 0x1},         {"DC", 0x2},          {"LC", 0x4},    {"SW", 0x8},       {"RP", 0x10},
    {"WP", 0x20},        {"DT", 0x40},         {"LO", 0x80},   {"CR", 0x100},
};
const RightName kAceFlags[] = {
    {"OI", OBJECT_INHERIT_ACE}, {"CI", CONTAINER_INHERIT_ACE}, {"NP", NO_PROPAGATE_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE},   {"ID", INHERITED_ACE},
};
const RightName kDaclFlags[] = {{"P", SE_DACL_PROTECTED}, {"AR", 0x0100}, {"AI", SE_DACL_AUTO_INHERITED}};

void PutDword(std::vector<BYTE>* out, size_t at, DWORD value) { std::memcpy(out->data() + at, &value, 4); }

std::vector<BYTE> AclBytes(const std::vector<SecurityAce>& aces) {
    size_t size = sizeof(ACL);
    for (const auto& ace : aces) size += 8 + ace.sid.size();
    std::vector<BYTE> out(size, 0);
    ACL header{ACL_REVISION, 0, static_cast<WORD>(size), static_cast<WORD>(aces.size()), 0};
    std::memcpy(out.data(), &header, sizeof header);
    size_t at = sizeof(ACL);
    for (const auto& ace : aces) {
        ACE_HEADER h{ace.type, ace.flags, static_cast<WORD>(8 + ace.sid.size())};
        std::memcpy(out.data() + at, &h, sizeof h);
        PutDword(&out, at + 4, ace.mask);
        std::memcpy(out.data() + at + 8, ace.sid.data(), ace.sid.size());
        at += h.AceSize;
    }
    return out;
}

ACCESS_MASK MapGenericKeyRights(ACCESS_MASK mask) {
    ACCESS_MASK mapped = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (mask & GENERIC_READ) mapped |= KEY_READ;
    if (mask & GENERIC_WRITE) mapped |= KEY_WRITE;
    if (mask & GENERIC_EXECUTE) mapped |= KEY_EXECUTE;
    if (mask & GENERIC_ALL) mapped |= KEY_ALL_ACCESS;
    return mapped;
}

std::string SidSddl(const SidBytes& sid) {
    const std::string text = SidText(sid);
    for (const auto& entry : kSidAbbreviations)
        if (text == entry.sid) return entry.name;
    return text;
}

std::string RightsSddl(ACCESS_MASK mask) {
    for (const auto& entry : kWholeRights)
        if (entry.mask == mask) return entry.name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(mask));
    return text;
}

// Reads two-letter names from `text` into a mask; false on an unknown name.
template <size_t N>
bool ParseFlags(std::string_view text, const RightName (&table)[N], DWORD* mask) {
    *mask = 0;
    while (!text.empty()) {
        bool found = false;
        for (const auto& entry : table) {
            const size_t n = std::strlen(entry.name);
            if (text.substr(0, n) == entry.name) {
                *mask |= entry.mask;
                text.remove_prefix(n);
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

bool ParseRights(std::string_view text, ACCESS_MASK* mask) {
    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
        const std::string copy(text);
        char* end = nullptr;
        const unsigned long value = std::strtoul(copy.c_str(), &end, 0);
        *mask = static_cast<ACCESS_MASK>(value);
        return end && *end == 0;
    }
    *mask = 0;
    while (!text.empty()) {
        bool found = false;
        for (const auto* table : {kWholeRights, kSingleRights}) {
            const size_t count = table == kWholeRights ? std::size(kWholeRights) : std::size(kSingleRights);
            for (size_t i = 0; i < count && !found; ++i) {
                if (text.substr(0, 2) == table[i].name) {
                    *mask |= table[i].mask;
                    found = true;
                }
            }
            if (found) break;
        }
        if (!found) return false;
        text.remove_prefix(2);
    }
    return true;
}

bool ParseAce(std::string_view text, SecurityAce* ace, std::string* error) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(';', start);
        fields.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (fields.size() != 6) {
        *error = "an entry needs six fields: (" + std::string(text) + ")";
        return false;
    }
    if (fields[0] == "A") {
        ace->type = ACCESS_ALLOWED_ACE_TYPE;
    } else if (fields[0] == "D") {
        ace->type = ACCESS_DENIED_ACE_TYPE;
    } else {
        *error = "unknown entry type \"" + std::string(fields[0]) + "\"";
        return false;
    }
    DWORD flags = 0;
    if (!ParseFlags(fields[1], kAceFlags, &flags)) {
        *error = "unknown entry flags \"" + std::string(fields[1]) + "\"";
        return false;
    }
    ace->flags = static_cast<BYTE>(flags);
    if (!ParseRights(fields[2], &ace->mask)) {
        *error = "unknown rights \"" + std::string(fields[2]) + "\"";
        return false;
    }
    if (!fields[3].empty() || !fields[4].empty()) {
        *error = "object entries are not supported";
        return false;
    }
    auto sid = ParseSid(fields[5]);
    if (!sid) {
        *error = "unknown SID \"" + std::string(fields[5]) + "\"";
        return false;
    }
    ace->sid = std::move(*sid);
    return true;
}

// A SID after O: or G: runs to the next component.
size_t SidEnd(std::string_view text) {
    if (text.size() >= 2 && (text[0] == 'S' || text[0] == 's') && text[1] == '-') {
        size_t i = 2;
        while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '-' || text[i] == 'x' ||
                                   text[i] == 'X' || (text[i] >= 'a' && text[i] <= 'f') ||
                                   (text[i] >= 'A' && text[i] <= 'F' && !(i + 1 < text.size() && text[i + 1] == ':'))))
            ++i;
        return i;
    }
    return std::min<size_t>(2, text.size());
}

const SecurityDescriptorData& ParsedDefault(bool users) {
    static const SecurityDescriptorData machine = [] {
        SecurityDescriptorData d;
        ParseSddl(kLocalMachineDefault, &d, nullptr);
        return d;
    }();
    static const SecurityDescriptorData profiles = [] {
        SecurityDescriptorData d;
        ParseSddl(kUsersDefault, &d, nullptr);
        return d;
    }();
    return users ? profiles : machine;
}

void AppendKeyLines(std::string* out, const RegKey& key, const std::string& path) {
    if (!key.security.empty()) {
        SecurityDescriptorData d;
        if (ReadDescriptor(key.security.data(), &d)) *out += path + "=" + ToSddl(d) + "\n";
    }
    for (const auto& child : key.children) AppendKeyLines(out, *child, path + "\\" + child->name);
}

}  // namespace

// ---- SIDs ---------------------------------------------------------------------------------------

SidBytes MakeSid(BYTE authority, std::initializer_list<DWORD> subAuthorities) {
    SidBytes sid(8 + 4 * subAuthorities.size(), 0);
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(subAuthorities.size());
    sid[7] = authority;
    size_t at = 8;
    for (DWORD value : subAuthorities) {
        std::memcpy(sid.data() + at, &value, 4);
        at += 4;
    }
    return sid;
}

std::optional<SidBytes> ParseSid(std::string_view text) {
    for (const auto& entry : kSidAbbreviations)
        if (text == entry.name) return ParseSid(entry.sid);
    if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return std::nullopt;
    std::vector<uint64_t> numbers;
    std::string rest(text.substr(2));
    const char* p = rest.c_str();
    while (*p) {
        char* end = nullptr;
        if (*p < '0' || *p > '9') return std::nullopt;
        numbers.push_back(std::strtoull(p, &end, numbers.size() == 1 ? 0 : 10));
        p = end;
        if (*p == '-') {
            ++p;
            if (!*p) return std::nullopt;
        } else if (*p) {
            return std::nullopt;
        }
    }
    if (numbers.size() < 2 || numbers[0] != 1 || numbers.size() - 2 > SID_MAX_SUB_AUTHORITIES) return std::nullopt;
    SidBytes sid(8 + 4 * (numbers.size() - 2), 0);
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(numbers.size() - 2);
    for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(numbers[1] >> (8 * (5 - i)));
    for (size_t i = 2; i < numbers.size(); ++i) {
        if (numbers[i] > 0xFFFFFFFFull) return std::nullopt;
        const DWORD value = static_cast<DWORD>(numbers[i]);
        std::memcpy(sid.data() + 8 + 4 * (i - 2), &value, 4);
    }
    return sid;
}

std::string SidText(const SidBytes& sid) {
    if (sid.size() < 8) return "S-?";
    uint64_t authority = 0;
    for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
    char number[24];
    // Windows writes an authority of 2^32 or more in hex.
    std::snprintf(number, sizeof number, authority >= (1ull << 32) ? "0x%llX" : "%llu",
                  static_cast<unsigned long long>(authority));
    std::string text = std::string("S-") + std::to_string(sid[0]) + "-" + number;
    for (size_t i = 0; i < sid[1] && 8 + 4 * i + 4 <= sid.size(); ++i) {
        DWORD value;
        std::memcpy(&value, sid.data() + 8 + 4 * i, 4);
        text += "-" + std::to_string(value);
    }
    return text;
}

bool SidPointerValid(const void* sid) {
    if (!sid) return false;
    const BYTE* b = static_cast<const BYTE*>(sid);
    return b[0] == SID_REVISION && b[1] <= SID_MAX_SUB_AUTHORITIES;
}

DWORD SidPointerLength(const void* sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

SidBytes SidFromPointer(const void* sid) {
    const BYTE* b = static_cast<const BYTE*>(sid);
    return SidBytes(b, b + SidPointerLength(sid));
}

// ---- descriptors --------------------------------------------------------------------------------

bool ReadAcl(const ACL* acl, std::vector<SecurityAce>* aces) {
    if (!acl || acl->AclRevision < MIN_ACL_REVISION || acl->AclRevision > MAX_ACL_REVISION ||
        acl->AclSize < sizeof(ACL))
        return false;
    const BYTE* base = reinterpret_cast<const BYTE*>(acl);
    size_t at = sizeof(ACL);
    aces->clear();
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (at + sizeof(ACE_HEADER) > acl->AclSize) return false;
        ACE_HEADER h;
        std::memcpy(&h, base + at, sizeof h);
        if (h.AceSize < 8 || at + h.AceSize > acl->AclSize) return false;
        if (h.AceType > SYSTEM_AUDIT_ACE_TYPE) return false;
        const BYTE* sid = base + at + 8;
        if (h.AceSize < 12 || !SidPointerValid(sid) || 8 + SidPointerLength(sid) > h.AceSize) return false;
        SecurityAce ace;
        ace.type = h.AceType;
        ace.flags = h.AceFlags;
        std::memcpy(&ace.mask, base + at + 4, 4);
        ace.sid = SidFromPointer(sid);
        aces->push_back(std::move(ace));
        at += h.AceSize;
    }
    return true;
}

bool ReadDescriptor(const void* descriptor, SecurityDescriptorData* out) {
    if (!descriptor) return false;
    const BYTE* base = static_cast<const BYTE*>(descriptor);
    if (base[0] != SECURITY_DESCRIPTOR_REVISION) return false;
    SECURITY_DESCRIPTOR_CONTROL control;
    std::memcpy(&control, base + 2, 2);
    const void* owner;
    const void* group;
    const void* dacl;
    if (control & SE_SELF_RELATIVE) {
        SECURITY_DESCRIPTOR_RELATIVE r;
        std::memcpy(&r, base, sizeof r);
        owner = r.Owner ? base + r.Owner : nullptr;
        group = r.Group ? base + r.Group : nullptr;
        dacl = r.Dacl ? base + r.Dacl : nullptr;
    } else {
        const auto* a = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
        owner = a->Owner;
        group = a->Group;
        dacl = a->Dacl;
    }
    SecurityDescriptorData d;
    if (owner) {
        if (!SidPointerValid(owner)) return false;
        d.owner = SidFromPointer(owner);
    }
    if (group) {
        if (!SidPointerValid(group)) return false;
        d.group = SidFromPointer(group);
    }
    if ((control & SE_DACL_PRESENT) && dacl) {
        std::vector<SecurityAce> aces;
        if (!ReadAcl(static_cast<const ACL*>(dacl), &aces)) return false;
        d.dacl = std::move(aces);
    }
    d.daclFlags = control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | 0x0100);
    *out = std::move(d);
    return true;
}

std::vector<BYTE> ToSelfRelative(const SecurityDescriptorData& d, SECURITY_INFORMATION parts) {
    std::vector<BYTE> out(sizeof(SECURITY_DESCRIPTOR_RELATIVE), 0);
    SECURITY_DESCRIPTOR_RELATIVE header{};
    header.Revision = SECURITY_DESCRIPTOR_REVISION;
    header.Control = SE_SELF_RELATIVE;
    if (parts & DACL_SECURITY_INFORMATION) {
        header.Control |= SE_DACL_PRESENT | d.daclFlags;
        if (d.dacl) {
            header.Dacl = static_cast<DWORD>(out.size());
            const auto acl = AclBytes(*d.dacl);
            out.insert(out.end(), acl.begin(), acl.end());
        }
    }
    if ((parts & OWNER_SECURITY_INFORMATION) && d.owner) {
        header.Owner = static_cast<DWORD>(out.size());
        out.insert(out.end(), d.owner->begin(), d.owner->end());
    }
    if ((parts & GROUP_SECURITY_INFORMATION) && d.group) {
        header.Group = static_cast<DWORD>(out.size());
        out.insert(out.end(), d.group->begin(), d.group->end());
    }
    std::memcpy(out.data(), &header, sizeof header);
    return out;
}

// ---- SDDL ---------------------------------------------------------------------------------------

std::string ToSddl(const SecurityDescriptorData& d) {
    std::string out;
    if (d.owner) out += "O:" + SidSddl(*d.owner);
    if (d.group) out += "G:" + SidSddl(*d.group);
    out += "D:";
    for (const auto& flag : kDaclFlags)
        if (d.daclFlags & flag.mask) out += flag.name;
    if (!d.dacl) return out + "NO_ACCESS_CONTROL";
    for (const auto& ace : *d.dacl) {
        out += ace.type == ACCESS_DENIED_ACE_TYPE ? "(D;" : "(A;";
        for (const auto& flag : kAceFlags)
            if (ace.flags & flag.mask) out += flag.name;
        out += ";" + RightsSddl(ace.mask) + ";;;" + SidSddl(ace.sid) + ")";
    }
    return out;
}

bool ParseSddl(std::string_view text, SecurityDescriptorData* descriptor, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    SecurityDescriptorData d;
    d.dacl = std::vector<SecurityAce>();
    bool sawDacl = false;
    while (!text.empty()) {
        if (text.size() < 2 || text[1] != ':') {
            *error = "expected O:, G:, D: or S: at \"" + std::string(text) + "\"";
            return false;
        }
        const char part = text[0];
        text.remove_prefix(2);
        if (part == 'O' || part == 'G') {
            const size_t end = SidEnd(text);
            auto sid = ParseSid(text.substr(0, end));
            if (!sid) {
                *error = "unknown SID \"" + std::string(text.substr(0, end)) + "\"";
                return false;
            }
            (part == 'O' ? d.owner : d.group) = std::move(*sid);
            text.remove_prefix(end);
        } else if (part == 'D' || part == 'S') {
            size_t flagsEnd = 0;
            while (flagsEnd < text.size() && text[flagsEnd] != '(' &&
                   !(flagsEnd + 1 < text.size() && text[flagsEnd + 1] == ':'))
                ++flagsEnd;
            const std::string_view flags = text.substr(0, flagsEnd);
            text.remove_prefix(flagsEnd);
            std::vector<SecurityAce> aces;
            while (!text.empty() && text[0] == '(') {
                const size_t close = text.find(')');
                if (close == std::string_view::npos) {
                    *error = "an entry is not closed";
                    return false;
                }
                // A SACL's entries (audit types, their own flags) are passed over unread.
                SecurityAce ace;
                if (part == 'D' && !ParseAce(text.substr(1, close - 1), &ace, error)) return false;
                aces.push_back(std::move(ace));
                text.remove_prefix(close + 1);
            }
            if (part == 'S') continue;  // a SACL is not kept
            sawDacl = true;
            // A null DACL keeps its flags before the word, as Windows writes them ("D:PNO_ACCESS_CONTROL").
            constexpr std::string_view kNull = "NO_ACCESS_CONTROL";
            const bool null = flags.size() >= kNull.size() && flags.substr(flags.size() - kNull.size()) == kNull;
            DWORD mask = 0;
            if (!ParseFlags(null ? flags.substr(0, flags.size() - kNull.size()) : flags, kDaclFlags, &mask)) {
                *error = "unknown DACL flags \"" + std::string(flags) + "\"";
                return false;
            }
            d.daclFlags = static_cast<SECURITY_DESCRIPTOR_CONTROL>(mask);
            if (null)
                d.dacl.reset();
            else
                d.dacl = std::move(aces);
        } else {
            *error = std::string("unknown part \"") + part + ":\"";
            return false;
        }
    }
    // No D: at all is a descriptor without a DACL: nothing restricts access.
    if (!sawDacl) d.dacl.reset();
    *descriptor = std::move(d);
    return true;
}

// ---- tokens -------------------------------------------------------------------------------------

bool Token::Holds(const SidBytes& sid) const {
    if (sid == user) return true;
    for (const auto& group : groups)
        if (group.first == sid && (group.second & SE_GROUP_ENABLED)) return true;
    return false;
}

bool Token::MayOwn(const SidBytes& sid) const {
    if (sid == user) return true;
    for (const auto& group : groups)
        if (group.first == sid && (group.second & SE_GROUP_OWNER)) return true;
    return false;
}

Security::Security(Machine& machine) : machine_(machine) {}
Security::~Security() = default;

SidBytes Security::AccountSid(Machine::Account account) const {
    switch (account) {
        case Machine::Account::LocalSystem: return MakeSid(5, {SECURITY_LOCAL_SYSTEM_RID});
        case Machine::Account::Administrator:
            return MakeSid(5, {SECURITY_NT_NON_UNIQUE, kMachineDomain[0], kMachineDomain[1], kMachineDomain[2], 500});
        case Machine::Account::User:
            return MakeSid(5, {SECURITY_NT_NON_UNIQUE, kMachineDomain[0], kMachineDomain[1], kMachineDomain[2], 1000});
    }
    return {};
}

std::shared_ptr<Token> Security::MakeToken(Machine::Account account, TOKEN_TYPE type,
                                           SECURITY_IMPERSONATION_LEVEL level) const {
    auto token = std::make_shared<Token>();
    token->account = account;
    token->type = type;
    token->level = type == TokenImpersonation ? level : SecurityAnonymous;
    token->user = AccountSid(account);
    constexpr DWORD kEnabled = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    const SidBytes admins = MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
    auto& g = token->groups;
    if (account == Machine::Account::LocalSystem) {
        g.emplace_back(admins, SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED | SE_GROUP_OWNER);
        g.emplace_back(MakeSid(1, {SECURITY_WORLD_RID}), kEnabled);
        g.emplace_back(MakeSid(5, {SECURITY_AUTHENTICATED_USER_RID}), kEnabled);
    } else {
        g.emplace_back(MakeSid(5, {SECURITY_NT_NON_UNIQUE, kMachineDomain[0], kMachineDomain[1], kMachineDomain[2],
                                   DOMAIN_GROUP_RID_USERS}),
                       kEnabled);
        g.emplace_back(MakeSid(1, {SECURITY_WORLD_RID}), kEnabled);
        if (account == Machine::Account::Administrator) g.emplace_back(admins, kEnabled | SE_GROUP_OWNER);
        g.emplace_back(MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS}), kEnabled);
        g.emplace_back(MakeSid(5, {SECURITY_INTERACTIVE_RID}), kEnabled);
        g.emplace_back(MakeSid(5, {SECURITY_AUTHENTICATED_USER_RID}), kEnabled);
        g.emplace_back(MakeSid(5, {SECURITY_LOGON_IDS_RID, 0, kLogonSession}), kEnabled | SE_GROUP_LOGON_ID);
        if (machine_.Version() != OsVersion::NT4) g.emplace_back(MakeSid(2, {SECURITY_LOCAL_RID}), kEnabled);
    }
    token->defaultOwner = account == Machine::Account::User ? token->user : admins;
    return token;
}

std::shared_ptr<const Token> Security::ProcessToken() const {
    return MakeToken(machine_.CallerAccount(), TokenPrimary);
}

std::shared_ptr<const Token> Security::ThreadToken() const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = threadTokens_.find(GetCurrentThreadId());
    return it == threadTokens_.end() ? nullptr : it->second;
}

void Security::SetThreadToken(std::shared_ptr<const Token> token) {
    std::lock_guard<std::mutex> guard(lock_);
    if (token)
        threadTokens_[GetCurrentThreadId()] = std::move(token);
    else
        threadTokens_.erase(GetCurrentThreadId());
}

std::shared_ptr<const Token> Security::EffectiveToken() const {
    auto token = ThreadToken();
    return token ? token : ProcessToken();
}

void Security::ImpersonateOnThisThread(Machine::Account account, SECURITY_IMPERSONATION_LEVEL level,
                                       bool groupsUnreadable) {
    auto token = MakeToken(account, TokenImpersonation, level);
    token->groupsUnreadable = groupsUnreadable;
    SetThreadToken(std::move(token));
}

std::optional<Machine::Account> Security::ImpersonatedAccount() const {
    auto token = ThreadToken();
    if (!token) return std::nullopt;
    return token->account;
}

// ---- key security -------------------------------------------------------------------------------

SecurityDescriptorData DefaultKeyDescriptor(const RegKey& key) {
    const RegKey* top = &key;
    while (top->parent) top = top->parent;
    return ParsedDefault(top->name == "HKEY_USERS");
}

SecurityDescriptorData KeyDescriptor(const RegKey& key) {
    SecurityDescriptorData d;
    if (!key.security.empty() && ReadDescriptor(key.security.data(), &d)) return d;
    return DefaultKeyDescriptor(key);
}

void StoreKeyDescriptor(RegKey& key, const SecurityDescriptorData& descriptor) {
    if (descriptor == DefaultKeyDescriptor(key))
        key.security.clear();
    else
        key.security = ToSelfRelative(descriptor);
}

ACCESS_MASK AllowedAccess(const SecurityDescriptorData& d, const Token& token) {
    ACCESS_MASK owner = d.owner && token.Holds(*d.owner) ? READ_CONTROL | WRITE_DAC : 0;
    if (!d.dacl) return KEY_ALL_ACCESS | owner;
    ACCESS_MASK granted = 0, denied = 0;
    for (const auto& ace : *d.dacl) {
        if ((ace.flags & INHERIT_ONLY_ACE) || !token.Holds(ace.sid)) continue;
        const ACCESS_MASK mask = MapGenericKeyRights(ace.mask);
        if (ace.type == ACCESS_ALLOWED_ACE_TYPE)
            granted |= mask & ~denied;
        else if (ace.type == ACCESS_DENIED_ACE_TYPE)
            denied |= mask & ~granted;
    }
    return granted | owner;
}

LONG CheckKeyAccess(const RegKey& key, REGSAM desired, REGSAM* granted) {
    const ACCESS_MASK allowed = AllowedAccess(KeyDescriptor(key), *Current().Security().EffectiveToken());
    const ACCESS_MASK wanted = desired & ~(MAXIMUM_ALLOWED | SYNCHRONIZE);
    if (wanted & ~allowed) return ERROR_ACCESS_DENIED;
    if (desired & MAXIMUM_ALLOWED) {
        if (!allowed) return ERROR_ACCESS_DENIED;
        if (granted) *granted = allowed;
    } else if (granted) {
        *granted = wanted;
    }
    return ERROR_SUCCESS;
}

DWORD KeySecurityDescriptorSize(const RegKey& key) {
    return static_cast<DWORD>(ToSelfRelative(KeyDescriptor(key)).size());
}

std::optional<SecurityDescriptorData> Security::KeySecurity(std::string_view path) const {
    auto& reg = machine_.Reg().impl();
    std::lock_guard<std::recursive_mutex> guard(reg.lock);
    const RegKey* key = reg.nt ? reg.Find(path) : nullptr;
    if (!key) return std::nullopt;
    return KeyDescriptor(*key);
}

std::optional<std::string> Security::KeySecuritySddl(std::string_view path) const {
    auto d = KeySecurity(path);
    if (!d) return std::nullopt;
    return ToSddl(*d);
}

bool Security::SetKeySecurity(std::string_view path, const SecurityDescriptorData& descriptor) {
    auto& reg = machine_.Reg().impl();
    std::lock_guard<std::recursive_mutex> guard(reg.lock);
    RegKey* key = reg.nt ? reg.Find(path) : nullptr;
    if (!key) return false;
    StoreKeyDescriptor(*key, descriptor);
    return true;
}

void Security::NoteKeySecurityWritten(std::string key, const SecurityDescriptorData& descriptor) {
    writes_.push_back({std::move(key), ToSddl(descriptor)});
}

std::string KeyPathOf(const RegKey& key) { return key.parent ? KeyPathOf(*key.parent) + "\\" + key.name : key.name; }

bool Security::SetKeySecuritySddl(std::string_view path, std::string_view sddl, std::string* error) {
    SecurityDescriptorData d;
    if (!ParseSddl(sddl, &d, error)) return false;
    if (!SetKeySecurity(path, d)) {
        if (error) *error = "no such key: " + std::string(path);
        return false;
    }
    return true;
}

bool Security::ResetKeySecurity(std::string_view path) {
    auto& reg = machine_.Reg().impl();
    std::lock_guard<std::recursive_mutex> guard(reg.lock);
    RegKey* key = reg.nt ? reg.Find(path) : nullptr;
    if (!key) return false;
    key->security.clear();
    return true;
}

std::string Security::SaveSecurityText() const {
    auto& reg = machine_.Reg().impl();
    std::lock_guard<std::recursive_mutex> guard(reg.lock);
    std::string out;
    AppendKeyLines(&out, *reg.machine, reg.machine->name);
    AppendKeyLines(&out, *reg.users, reg.users->name);
    return out;
}

bool Security::LoadSecurityText(std::string_view text, std::string* error) {
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        const size_t equals = line.rfind('=');
        std::string problem;
        if (equals == std::string_view::npos)
            problem = "expected KEY=SDDL";
        else
            SetKeySecuritySddl(line.substr(0, equals), line.substr(equals + 1), &problem);
        if (!problem.empty()) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + problem;
            return false;
        }
    }
    return true;
}

}  // namespace winsim
