// kernel32: FindFirstFileA, FindNextFileA and FindClose over the machine's drives.
#include "files_internal.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

// One listing: the entries found when it was made, handed out one by one.
class CFindObject : public winsim::KernelObject {
public:
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

char Fold(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// '*' any run of characters, '?' any one; letter case does not matter.
bool Matches(const char* pattern, const char* name) {
    if (!*pattern) return !*name;
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (Matches(pattern + 1, rest)) return true;
            if (!*rest) return false;
        }
    }
    return *name && (*pattern == '?' || Fold(*pattern) == Fold(*name)) && Matches(pattern + 1, name + 1);
}

bool Less(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    for (size_t i = 0;; ++i) {
        const char x = Fold(a.cFileName[i]), y = Fold(b.cFileName[i]);
        if (x != y || !x) return x < y;
    }
}

WIN32_FIND_DATAA Entry(const std::string& name, const struct stat& st) {
    WIN32_FIND_DATAA data{};
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    if (S_ISDIR(st.st_mode)) {
        data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data.dwFileAttributes =
            (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_ARCHIVE : (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
        data.nFileSizeLow = static_cast<DWORD>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    }
    return data;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR path, LPWIN32_FIND_DATAA data) {
    const auto full = path && data ? winsim::FullWindowsPath(path) : std::nullopt;
    if (!full || full->size() <= 3) {
        SetLastError(path && data ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const size_t slash = full->find_last_of('\\');
    const std::string folder = full->substr(0, slash + 1), pattern = full->substr(slash + 1);
    const auto resolved = winsim::ResolveOn(winsim::Current(), folder);
    struct stat st {};
    if (!resolved.AllFound() || stat(resolved.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<CFindObject>();
    const bool all = pattern == "*" || pattern == "*.*";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(resolved.host, ec)) {
        const std::string name = entry.path().filename().string();
        if ((all || Matches(pattern.c_str(), name.c_str())) && stat(entry.path().c_str(), &st) == 0)
            find->entries.push_back(Entry(name, st));
    }
    std::sort(find->entries.begin(), find->entries.end(), Less);
    if (folder.size() > 3 && (all || pattern == "." || pattern == "..")) {
        stat(resolved.host.c_str(), &st);
        const std::vector<WIN32_FIND_DATAA> dots = {Entry(".", st), Entry("..", st)};
        find->entries.insert(find->entries.begin(), dots.begin(), dots.end());
    }
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[find->next++];
    return winsim::AddHandle(find);
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
    const auto find = winsim::ObjectFromHandle<CFindObject>(handle);
    if (!find || !data) {
        SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!winsim::ObjectFromHandle<CFindObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(handle);
}
