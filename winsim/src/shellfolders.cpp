// Default shell folders per version, as a fresh installation sets them up:
// - Windows 95: one set of folders below the Windows directory, all per-user values; no All Users.
// - Windows 98: the same per-user set plus the Internet folders, and the All Users folders below
//   "C:\WINDOWS\All Users" under HKEY_LOCAL_MACHINE.
// - NT 4: profiles below "C:\WINNT\Profiles" ("<user>" and "All Users").
// - Windows 2000 and XP: profiles below "C:\Documents and Settings".
// Only the "Shell Folders" values are written; "User Shell Folders" (the unexpanded forms the shell
// rebuilds them from) are not simulated.
#include <winsim/registry.h>
#include <winsim/shellfolders.h>


#include <filesystem>
#include <system_error>
#include <vector>

namespace winsim {

namespace {

struct Folder {
    const char* name;
    const char* path;  // below the base that the row's kind names
};

// Per-user folders below the Windows directory (95/98).
const Folder k9xUser[] = {
    {"Desktop", "Desktop"},     {"Fonts", "Fonts"},
    {"NetHood", "NetHood"},     {"Recent", "Recent"},
    {"SendTo", "SendTo"},       {"Start Menu", "Start Menu"},
    {"Programs", "Start Menu\\Programs"}, {"Startup", "Start Menu\\Programs\\StartUp"},
    {"Templates", "ShellNew"},
};
// Added by Windows 98 (its Internet Explorer), also below the Windows directory.
const Folder k98User[] = {
    {"AppData", "Application Data"}, {"Cache", "Temporary Internet Files"}, {"Cookies", "Cookies"},
    {"Favorites", "Favorites"},      {"History", "History"},                {"PrintHood", "PrintHood"},
};
// All Users folders below "<Windows>\All Users" (98), "<Windows>\Profiles\All Users" (NT 4) or
// "C:\Documents and Settings\All Users" (2000, XP).
const Folder kCommon[] = {
    {"Common Desktop", "Desktop"},
    {"Common Start Menu", "Start Menu"},
    {"Common Programs", "Start Menu\\Programs"},
    {"Common Startup", "Start Menu\\Programs\\Startup"},
};
const Folder kCommon2000[] = {
    {"Common AppData", "Application Data"},
    {"Common Documents", "Documents"},
    {"Common Favorites", "Favorites"},
    {"Common Templates", "Templates"},
    {"Common Administrative Tools", "Start Menu\\Programs\\Administrative Tools"},
};
// Per-user folders of an NT profile.
const Folder kNtUser[] = {
    {"AppData", "Application Data"}, {"Desktop", "Desktop"},     {"Favorites", "Favorites"},
    {"NetHood", "NetHood"},          {"PrintHood", "PrintHood"}, {"Recent", "Recent"},
    {"SendTo", "SendTo"},            {"Start Menu", "Start Menu"}, {"Programs", "Start Menu\\Programs"},
    {"Startup", "Start Menu\\Programs\\Startup"},
};
const Folder kNt4User[] = {{"Personal", "Personal"}};
const Folder k2000User[] = {
    {"Personal", "My Documents"},
    {"My Pictures", "My Documents\\My Pictures"},
    {"Templates", "Templates"},
    {"Cache", "Local Settings\\Temporary Internet Files"},
    {"Cookies", "Cookies"},
    {"History", "Local Settings\\History"},
    {"Local AppData", "Local Settings\\Application Data"},
};

struct Entry {
    std::string name;
    std::string path;
    bool common;
};

template <size_t N>
void Add(std::vector<Entry>& out, const Folder (&rows)[N], const std::string& base, bool common) {
    for (const auto& row : rows) out.push_back({row.name, base + "\\" + row.path, common});
}

std::vector<Entry> FoldersOf(OsVersion version) {
    std::vector<Entry> out;
    const std::string user = kProfileUser;
    switch (version) {
        case OsVersion::Win95:
        case OsVersion::Win98: {
            const std::string windows = "C:\\WINDOWS";
            Add(out, k9xUser, windows, false);
            out.push_back({"Personal", "C:\\My Documents", false});
            if (version == OsVersion::Win98) {
                Add(out, k98User, windows, false);
                Add(out, kCommon, windows + "\\All Users", true);
                // 98 spells its startup folder "StartUp" everywhere.
                for (auto& e : out)
                    if (e.name == "Common Startup") e.path = windows + "\\All Users\\Start Menu\\Programs\\StartUp";
            }
            break;
        }
        case OsVersion::NT4: {
            const std::string profiles = "C:\\WINNT\\Profiles";
            Add(out, kNtUser, profiles + "\\" + user, false);
            Add(out, kNt4User, profiles + "\\" + user, false);
            out.push_back({"Fonts", "C:\\WINNT\\Fonts", false});
            out.push_back({"Templates", "C:\\WINNT\\ShellNew", false});
            Add(out, kCommon, profiles + "\\All Users", true);
            break;
        }
        case OsVersion::Win2000:
        case OsVersion::WinXP: {
            const std::string profiles = "C:\\Documents and Settings";
            const std::string windows = version == OsVersion::Win2000 ? "C:\\WINNT" : "C:\\WINDOWS";
            Add(out, kNtUser, profiles + "\\" + user, false);
            Add(out, k2000User, profiles + "\\" + user, false);
            out.push_back({"Fonts", windows + "\\Fonts", false});
            Add(out, kCommon, profiles + "\\All Users", true);
            Add(out, kCommon2000, profiles + "\\All Users", true);
            break;
        }
    }
    return out;
}

// A value's data in .reg text: backslashes and quotes escaped.
std::string RegString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::optional<std::string> DefaultShellFolder(OsVersion version, std::string_view name) {
    for (const auto& entry : FoldersOf(version))
        if (entry.name == name) return entry.path;
    return std::nullopt;
}

void LayOutShellFolders(Machine& machine) {
    const char* const kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::string user = std::string("[HKEY_CURRENT_USER\\") + kKey + "]\r\n";
    std::string common = std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\r\n";
    bool anyCommon = false;
    for (const auto& entry : FoldersOf(machine.Version())) {
        (entry.common ? common : user) += "\"" + entry.name + "\"=\"" + RegString(entry.path) + "\"\r\n";
        anyCommon = anyCommon || entry.common;
        // "C:\a\b" is the host folder <root>/C/a/b, spelled as Windows spells it.
        std::filesystem::path host = std::filesystem::path(machine.RootFolder()) / "C";
        std::string part;
        for (char c : entry.path.substr(3) + "\\") {
            if (c != '\\') {
                part += c;
                continue;
            }
            host /= part;
            part.clear();
        }
        std::error_code ec;
        std::filesystem::create_directories(host, ec);
    }
    std::string text = "REGEDIT4\r\n\r\n" + user + "\r\n";
    if (anyCommon) text += common + "\r\n";
    std::string error;
    machine.Reg().LoadRegText(text, &error);
}

}  // namespace winsim
