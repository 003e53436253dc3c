// The short names as text, the shortnames.txt of a machine folder, read by the machine folder's
// section reader (text.h): one "[folder]" section per folder, "SHORT~1.EXT=long name" below it. The
// short name is the key because a long name may hold '=' and an 8.3 name may not.
#include <winsim/shortnames.h>

#include <winsim/text.h>

namespace winsim {

std::string ShortNames::SaveText() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::string out = "; short names given to long file names, by folder\r\n";
    for (const auto& [key, folder] : folders_) {
        if (folder.entries.empty()) continue;
        out += "[" + folder.path + "]\r\n";
        for (const auto& entry : folder.entries) out += entry.shortName + "=" + entry.longName + "\r\n";
    }
    return out;
}

bool ShortNames::LoadText(std::string_view text, std::string* error) {
    const auto sections = ReadSectionText(text, error);
    if (!sections) return false;
    std::map<std::string, Folder> read;
    for (const auto& section : *sections) {
        const std::string& path = section.name;
        if (path.size() < 3 || path[1] != ':' || path[2] != '\\') {
            if (error) *error = TextError(section.line, "a folder is a full path such as C:\\Program Files");
            return false;
        }
        Folder& folder = read[UpperAscii(path)];
        folder.path = path;
        for (const auto& entry : section.entries) {
            if (!IsShortName(entry.key) || entry.value.empty()) {
                if (error) *error = TextError(entry.line, "'" + entry.key + "' is not a short name for a long name");
                return false;
            }
            folder.entries.push_back({entry.key, entry.value});
        }
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    folders_ = std::move(read);
    return true;
}

}  // namespace winsim
