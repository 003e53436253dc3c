// Checks on Windows path names shared by the simulated file calls.
#include "pathcheck.h"

#include <winsim/win32api.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace winsim {

bool HasInvalidNameCharacters(std::string_view fullPath) {
    const std::string_view names = fullPath.size() > 3 ? fullPath.substr(3) : std::string_view();
    for (const char c : names) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"/|?*", c)) return true;
    }
    return false;
}

HostEntry EntryAt(const std::string& hostPath) {
    struct stat st {};
    if (stat(hostPath.c_str(), &st) != 0) return HostEntry::Missing;
    return S_ISDIR(st.st_mode) ? HostEntry::Directory : HostEntry::File;
}

DWORD MissingEntryError(const std::string& hostPath) {
    const std::string parent = std::filesystem::path(hostPath).parent_path().string();
    return EntryAt(parent) == HostEntry::Directory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool EndsInSeparator(std::string_view path) { return !path.empty() && (path.back() == '\\' || path.back() == '/'); }

bool EndsAsFolderButIsFile(std::string_view path, const std::string& hostPath) {
    return EndsInSeparator(path) && EntryAt(hostPath) == HostEntry::File;
}

bool IsReadOnlyFile(const std::string& hostPath) {
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
}

}  // namespace winsim
