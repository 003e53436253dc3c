// The short names a machine gives its long file names (shortnames.h), and how they are formed.
#include <winsim/shortnames.h>

#include <winsim/machine.h>
#include <winsim/text.h>

#include "files_internal.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace winsim {

namespace {

// Characters a FAT directory entry cannot hold; blanks and dots are left out of a generated name too.
bool AllowedInShortName(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20) return false;
    return std::string_view("\"*+,/:;<=>?[\\]|").find(c) == std::string_view::npos;
}

// "C:\A\B" -> ("C:\A", "B"); "C:\B" -> ("C:\", "B").
std::pair<std::string, std::string> SplitLast(std::string_view path) {
    const size_t slash = path.find_last_of('\\');
    std::string parent(path.substr(0, slash));
    if (parent.size() == 2) parent += '\\';
    return {parent, std::string(path.substr(slash + 1))};
}

bool ContainsNoCase(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return EqualsNoCase(n, name); });
}

}  // namespace

ShortNames::ShortNames(Machine& machine) : machine_(machine) {}

bool ShortNames::IsShortName(std::string_view name) {
    const size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string_view::npos && ext.empty()) return false;
    for (std::string_view part : {base, ext})
        for (char c : part)
            if (!AllowedInShortName(c) || c == '.') return false;
    return true;
}

ShortNames::Folder& ShortNames::FolderOf(std::string_view folder) {
    Folder& found = folders_[UpperAscii(folder)];
    if (found.path.empty()) found.path = std::string(folder);
    return found;
}

std::vector<std::string> ShortNames::NamesOnDisk(std::string_view folder) const {
    std::vector<std::string> names;
    const ResolvedPath resolved = ResolveOn(machine_, folder);
    if (!resolved.AllFound()) return names;
    std::error_code ec;
    for (auto& entry : std::filesystem::directory_iterator(resolved.host, ec))
        names.push_back(entry.path().filename().string());
    return names;
}

void ShortNames::Prune(Folder& folder, const std::vector<std::string>& onDisk) {
    auto& entries = folder.entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return !ContainsNoCase(onDisk, e.longName); }),
                  entries.end());
}

std::string ShortNames::Assign(Folder& folder, std::string_view longName, const std::vector<std::string>& onDisk) {
    for (const auto& entry : folder.entries)
        if (EqualsNoCase(entry.longName, longName)) return entry.shortName;
    if (IsShortName(longName)) return std::string(longName);

    const size_t lastDot = longName.find_last_of('.');
    const bool hasExtension = lastDot != std::string_view::npos && lastDot > 0;
    std::string base, ext;
    for (char c : longName.substr(0, hasExtension ? lastDot : longName.size()))
        if (AllowedInShortName(c) && c != '.') base += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (hasExtension)
        for (char c : longName.substr(lastDot + 1))
            if (AllowedInShortName(c) && ext.size() < 3)
                ext += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base.empty()) base = "_";

    for (unsigned n = 1;; ++n) {
        const std::string tail = "~" + std::to_string(n);
        std::string candidate = base.substr(0, std::min<size_t>(6, 8 - tail.size())) + tail;
        if (!ext.empty()) candidate += "." + ext;
        const bool taken = ContainsNoCase(onDisk, candidate) ||
                           std::any_of(folder.entries.begin(), folder.entries.end(),
                                       [&](const Entry& e) { return EqualsNoCase(e.shortName, candidate); });
        if (!taken) {
            folder.entries.push_back({candidate, std::string(longName)});
            return candidate;
        }
    }
}

std::string ShortNames::ShortNameOf(std::string_view folder, std::string_view longName) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto onDisk = NamesOnDisk(folder);
    Folder& kept = FolderOf(folder);
    Prune(kept, onDisk);
    return Assign(kept, longName, onDisk);
}

std::optional<std::string> ShortNames::LongNameOf(std::string_view folder, std::string_view shortName) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const auto onDisk = NamesOnDisk(folder);
    Folder& kept = FolderOf(folder);
    Prune(kept, onDisk);
    auto find = [&]() -> std::optional<std::string> {
        for (const auto& entry : kept.entries)
            if (EqualsNoCase(entry.shortName, shortName)) return entry.longName;
        return std::nullopt;
    };
    if (auto found = find()) return found;
    // In name order, so that the same folder gives the same names however the host lists it.
    auto sorted = onDisk;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return UpperAscii(a) < UpperAscii(b); });
    for (const auto& name : sorted) Assign(kept, name, onDisk);
    return find();
}

void ShortNames::Moved(std::string_view from, std::string_view to) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::string fromKey = UpperAscii(from);
    const std::string toText(to);
    // The folders below (and the moved folder itself) follow it.
    std::vector<std::pair<std::string, Folder>> moved;
    for (auto it = folders_.begin(); it != folders_.end();) {
        const std::string& key = it->first;
        if (key == fromKey || StartsWithNoCase(key, fromKey + "\\")) {
            Folder folder = std::move(it->second);
            folder.path = toText + folder.path.substr(from.size());
            moved.emplace_back(UpperAscii(folder.path), std::move(folder));
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [key, folder] : moved) folders_[key] = std::move(folder);

    // Named copies rather than structured bindings: lambdas below use them, which clang 14 refuses.
    const auto fromParts = SplitLast(from);
    const auto toParts = SplitLast(to);
    const auto& fromParent = fromParts.first;
    const auto& fromName = fromParts.second;
    const auto& toParent = toParts.first;
    const auto& toName = toParts.second;
    auto parent = folders_.find(UpperAscii(fromParent));
    if (parent == folders_.end()) return;
    auto& entries = parent->second.entries;
    auto own = std::find_if(entries.begin(), entries.end(),
                            [&](const Entry& e) { return EqualsNoCase(e.longName, fromName); });
    if (own == entries.end()) return;
    Entry entry = *own;
    entries.erase(own);
    if (!EqualsNoCase(fromName, toName)) return;  // a new long name gets a new short name
    entry.longName = toName;
    auto onDisk = NamesOnDisk(toParent);
    onDisk.erase(
        std::remove_if(onDisk.begin(), onDisk.end(), [&](const std::string& n) { return EqualsNoCase(n, toName); }),
        onDisk.end());
    Folder& target = FolderOf(toParent);
    Prune(target, NamesOnDisk(toParent));
    const bool taken = ContainsNoCase(onDisk, entry.shortName) ||
                       std::any_of(target.entries.begin(), target.entries.end(),
                                   [&](const Entry& e) { return EqualsNoCase(e.shortName, entry.shortName); });
    if (!taken) target.entries.push_back(std::move(entry));
}

void ShortNames::Removed(std::string_view path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::string key = UpperAscii(path);
    for (auto it = folders_.begin(); it != folders_.end();)
        it = (it->first == key || StartsWithNoCase(it->first, key + "\\")) ? folders_.erase(it) : std::next(it);
    const auto [parentPath, name] = SplitLast(path);
    auto parent = folders_.find(UpperAscii(parentPath));
    if (parent == folders_.end()) return;
    auto& entries = parent->second.entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&, &name = name](const Entry& e) { return EqualsNoCase(e.longName, name); }),
                  entries.end());
}

}  // namespace winsim
