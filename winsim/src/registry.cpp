// The registry's key tree and winsim's own access to it (tests, tools, machine folders).
#include "registry_internal.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace winsim {

namespace {

// Code page 1252 between 0x80 and 0x9F; every other byte is the Unicode character of the same
// number. The five unassigned bytes map to the C1 controls, as Windows' own table does, which keeps
// every byte's round trip through UTF-16 exact.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// 2001-01-01 00:00 as a FILETIME: the simulated machines' clock starts there at boot.
constexpr uint64_t kBootFileTime = 0x01C07385C89DC000ull;

}  // namespace

unsigned char UpperAnsi(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A: return 0x8A;  // s caron
        case 0x9C: return 0x8C;  // oe
        case 0x9E: return 0x8E;  // z caron
        case 0xFF: return 0x9F;  // y diaeresis
        default: return c;
    }
}

char16_t AnsiToUnicode(unsigned char c) {
    if (c >= 0x80 && c <= 0x9F) return kCp1252High[c - 0x80];
    return c;
}

unsigned char UnicodeToAnsi(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
    }
    return '?';
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAnsi(static_cast<unsigned char>(a[i])) != UpperAnsi(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

int CompareNames(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t ca = AnsiToUnicode(UpperAnsi(static_cast<unsigned char>(a[i])));
        char16_t cb = AnsiToUnicode(UpperAnsi(static_cast<unsigned char>(b[i])));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

uint64_t RegistryNow() {
    uint64_t ms = HasCurrent() ? Current().NowMs() : 0;
    return kBootFileTime + ms * 10000;
}

// ---- keys --------------------------------------------------------------------------------------

RegKey* RegKey::Child(std::string_view childName) const {
    for (const auto& child : children) {
        if (NamesEqual(child->name, childName)) return child.get();
    }
    return nullptr;
}

RegValue* RegKey::Value(std::string_view valueName) {
    for (auto& value : values) {
        if (NamesEqual(value.name, valueName)) return &value;
    }
    return nullptr;
}

const RegValue* RegKey::Value(std::string_view valueName) const {
    return const_cast<RegKey*>(this)->Value(valueName);
}

Registry::Impl::Impl(OsVersion v)
    : version(v),
      nt(IsNtFamily(v)),
      currentUser(nt ? Registry::kDefaultNtUserSid : ".DEFAULT"),
      machine(std::make_shared<RegKey>()),
      users(std::make_shared<RegKey>()) {
    machine->name = "HKEY_LOCAL_MACHINE";
    users->name = "HKEY_USERS";
    machine->lastWrite = users->lastWrite = RegistryNow();
}

bool Registry::Impl::ParseRoot(std::string_view name, RegRoot* root) {
    static const struct {
        const char* full;
        const char* abbreviation;
        RegRoot root;
    } kRoots[] = {
        {"HKEY_LOCAL_MACHINE", "HKLM", RegRoot::LocalMachine},
        {"HKEY_USERS", "HKU", RegRoot::Users},
        {"HKEY_CURRENT_USER", "HKCU", RegRoot::CurrentUser},
        {"HKEY_CLASSES_ROOT", "HKCR", RegRoot::ClassesRoot},
        {"HKEY_CURRENT_CONFIG", "HKCC", RegRoot::CurrentConfig},
    };
    for (const auto& entry : kRoots) {
        if (NamesEqual(name, entry.full) || NamesEqual(name, entry.abbreviation)) {
            *root = entry.root;
            return true;
        }
    }
    return false;
}

std::shared_ptr<RegKey> Registry::Impl::HiveOf(RegRoot root) const {
    return (root == RegRoot::Users || root == RegRoot::CurrentUser) ? users : machine;
}

std::vector<std::string> Registry::Impl::AliasPath(RegRoot root) const {
    switch (root) {
        case RegRoot::CurrentUser: return {currentUser};
        case RegRoot::ClassesRoot: return {"SOFTWARE", "Classes"};
        case RegRoot::CurrentConfig:
            if (nt) return {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"};
            return {"Config", "0001"};
        default: return {};
    }
}

RegKey* Registry::Impl::FindBelow(RegKey* key, const std::vector<std::string>& components) const {
    for (const auto& name : components) {
        if (!key) return nullptr;
        key = key->Child(name);
    }
    return key;
}

RegKey* Registry::Impl::Find(std::string_view path) const {
    std::vector<std::string> parts = SplitKeyPath(path);
    RegRoot root;
    if (parts.empty() || !ParseRoot(parts[0], &root)) return nullptr;
    std::vector<std::string> components = AliasPath(root);
    components.insert(components.end(), parts.begin() + 1, parts.end());
    return FindBelow(HiveOf(root).get(), components);
}

RegKey* Registry::Impl::RootKey(RegRoot root) {
    return CreateBelow(HiveOf(root).get(), AliasPath(root), false, nullptr);
}

RegKey* Registry::Impl::CreateBelow(RegKey* key, const std::vector<std::string>& components, bool isVolatile,
                                    bool* created) {
    for (const auto& name : components) {
        if (name.size() > kMaxKeyNameLength) return nullptr;
    }
    bool madeLast = false;
    for (const auto& name : components) {
        RegKey* child = key->Child(name);
        madeLast = child == nullptr;
        key = child ? child : AddChild(key, name, isVolatile);
    }
    if (created) *created = madeLast;
    return key;
}

RegKey* Registry::Impl::CreatePath(std::string_view path) {
    std::vector<std::string> parts = SplitKeyPath(path);
    RegRoot root;
    if (parts.empty() || !ParseRoot(parts[0], &root)) return nullptr;
    RegKey* base = RootKey(root);
    return CreateBelow(base, std::vector<std::string>(parts.begin() + 1, parts.end()), false, nullptr);
}

RegKey* Registry::Impl::AddChild(RegKey* parent, std::string childName, bool isVolatile) {
    auto child = std::make_shared<RegKey>();
    child->name = std::move(childName);
    child->parent = parent;
    child->isVolatile = isVolatile;
    child->lastWrite = RegistryNow();
    auto position = parent->children.end();
    if (nt) {
        // The configuration manager enumerates a key's stable subkeys, sorted, and then its
        // volatile ones, sorted.
        position = std::upper_bound(parent->children.begin(), parent->children.end(), child,
                                    [](const std::shared_ptr<RegKey>& a, const std::shared_ptr<RegKey>& b) {
                                        if (a->isVolatile != b->isVolatile) return b->isVolatile;
                                        return CompareNames(a->name, b->name) < 0;
                                    });
    }
    RegKey* result = child.get();
    parent->children.insert(position, std::move(child));
    Touch(parent);
    return result;
}

namespace {

void MarkDeleted(RegKey* key) {
    for (auto& child : key->children) MarkDeleted(child.get());
    key->children.clear();
    key->values.clear();
    key->deleted = true;
    key->parent = nullptr;
}

}  // namespace

void Registry::Impl::RemoveTree(RegKey* key) {
    // Holds the node while it is marked: the parent's list may have been its last owner.
    std::shared_ptr<RegKey> self = key->shared_from_this();
    if (RegKey* parent = key->parent) {
        auto& siblings = parent->children;
        siblings.erase(std::find(siblings.begin(), siblings.end(), self));
        Touch(parent);
    }
    MarkDeleted(key);
}

namespace {
// Registry handles of every machine come from one counter, far from the kernel's handles, so that
// a handle never means something in another machine or to CloseHandle.
std::atomic<uintptr_t> g_nextHandle{0x20000000};
}  // namespace

HKEY Registry::Impl::OpenHandle(RegKey* key, REGSAM access) {
    if (!nt) {
        for (auto& entry : handles) {
            if (entry.second.key.get() == key) {
                ++entry.second.refs;
                return reinterpret_cast<HKEY>(entry.first);
            }
        }
    }
    uintptr_t value = g_nextHandle.fetch_add(4);
    handles[value] = Handle{key->shared_from_this(), access, 1};
    return reinterpret_cast<HKEY>(value);
}

void Registry::Impl::SetValue(RegKey* key, std::string_view valueName, DWORD type, std::vector<BYTE> data) {
    // A value set again keeps its place in the enumeration and its first spelling.
    if (RegValue* existing = key->Value(valueName)) {
        existing->type = type;
        existing->data = std::move(data);
    } else {
        key->values.push_back(RegValue{std::string(valueName), type, std::move(data)});
    }
    Touch(key);
}

bool Registry::Impl::DeleteValue(RegKey* key, std::string_view valueName) {
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (NamesEqual(it->name, valueName)) {
            key->values.erase(it);
            Touch(key);
            return true;
        }
    }
    return false;
}

void Registry::Impl::Touch(RegKey* key) const { key->lastWrite = RegistryNow(); }

// ---- Registry ----------------------------------------------------------------------------------

namespace {

void CreateStandardKeys(Registry::Impl& reg) {
    static const char* const kNtKeys[] = {
        "HKLM\\HARDWARE\\DESCRIPTION\\System",
        "HKLM\\SAM",
        "HKLM\\SECURITY",
        "HKLM\\SOFTWARE\\Classes",
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
        "HKLM\\SYSTEM\\CurrentControlSet\\Control",
        "HKLM\\SYSTEM\\CurrentControlSet\\Enum",
        "HKLM\\SYSTEM\\CurrentControlSet\\Services",
        "HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
        "HKU\\.DEFAULT\\Software",
        "HKCU\\Software",
    };
    static const char* const k9xKeys[] = {
        "HKLM\\Config\\0001",
        "HKLM\\Enum",
        "HKLM\\Hardware",
        "HKLM\\Network",
        "HKLM\\Security",
        "HKLM\\SOFTWARE\\Classes",
        "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "HKLM\\System\\CurrentControlSet\\Control",
        "HKLM\\System\\CurrentControlSet\\Services",
        "HKU\\.DEFAULT\\Software",
        "HKCU\\Software",
    };
    if (reg.nt) {
        for (const char* path : kNtKeys) reg.CreatePath(path);
    } else {
        for (const char* path : k9xKeys) reg.CreatePath(path);
    }
}

}  // namespace

Registry::Registry(OsVersion version, Contents contents) : impl_(std::make_unique<Impl>(version)) {
    if (contents == Contents::Standard) CreateStandardKeys(*impl_);
}
Registry::~Registry() = default;

OsVersion Registry::Version() const { return impl_->version; }

const std::string& Registry::CurrentUserKeyName() const { return impl_->currentUser; }

void Registry::SetCurrentUserKeyName(std::string name) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    impl_->currentUser = std::move(name);
}

bool Registry::KeyExists(std::string_view path) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return impl_->Find(path) != nullptr;
}

std::vector<std::string> Registry::SubkeyNames(std::string_view path) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    std::vector<std::string> names;
    if (const RegKey* key = impl_->Find(path)) {
        for (const auto& child : key->children) names.push_back(child->name);
    }
    return names;
}

std::vector<Registry::Value> Registry::Values(std::string_view path) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    std::vector<Value> values;
    if (const RegKey* key = impl_->Find(path)) {
        for (const auto& v : key->values) values.push_back(Value{v.name, v.type, v.data});
    }
    return values;
}

std::optional<Registry::Value> Registry::GetValue(std::string_view keyPath, std::string_view valueName) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    const RegKey* key = impl_->Find(keyPath);
    if (!key) return std::nullopt;
    const RegValue* v = key->Value(valueName);
    if (!v) return std::nullopt;
    return Value{v->name, v->type, v->data};
}

std::optional<std::string> Registry::StringValue(std::string_view keyPath, std::string_view valueName) const {
    std::optional<Value> v = GetValue(keyPath, valueName);
    if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return std::nullopt;
    const char* text = reinterpret_cast<const char*>(v->data.data());
    return std::string(text, std::find(text, text + v->data.size(), '\0'));
}

std::optional<DWORD> Registry::DwordValue(std::string_view keyPath, std::string_view valueName) const {
    std::optional<Value> v = GetValue(keyPath, valueName);
    if (!v || v->type != REG_DWORD || v->data.size() != 4) return std::nullopt;
    DWORD result;
    std::memcpy(&result, v->data.data(), 4);
    return result;
}

bool Registry::CreateKey(std::string_view path) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return impl_->CreatePath(path) != nullptr;
}

bool Registry::SetValue(std::string_view keyPath, std::string_view valueName, DWORD type, std::vector<BYTE> data) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    RegKey* key = impl_->CreatePath(keyPath);
    if (!key) return false;
    impl_->SetValue(key, valueName, type, std::move(data));
    return true;
}

bool Registry::SetStringValue(std::string_view keyPath, std::string_view valueName, std::string_view text,
                              DWORD type) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return SetValue(keyPath, valueName, type, std::move(data));
}

bool Registry::SetDwordValue(std::string_view keyPath, std::string_view valueName, DWORD value) {
    std::vector<BYTE> data(4);
    std::memcpy(data.data(), &value, 4);
    return SetValue(keyPath, valueName, REG_DWORD, std::move(data));
}

bool Registry::DeleteKey(std::string_view path) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    RegKey* key = impl_->Find(path);
    if (!key || !key->parent) return false;
    impl_->RemoveTree(key);
    return true;
}

bool Registry::DeleteValue(std::string_view keyPath, std::string_view valueName) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    RegKey* key = impl_->Find(keyPath);
    return key && impl_->DeleteValue(key, valueName);
}

size_t Registry::OpenHandleCount() const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    size_t count = 0;
    for (const auto& entry : impl_->handles) count += entry.second.refs;
    return count;
}

}  // namespace winsim
