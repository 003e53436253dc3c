// The scenario runner, written once against the Win32 API: it sets the starting state up, calls the
// library's exports by name and captures the state, on a real Windows as on a simulated one.
#include "tools/scenario/runner.h"

#include "tools/kvsim/exporttable.h"
#include "tools/kvsim/regvalue.h"
#include "tools/scenario/probe.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace scenario {

namespace {

using Lines = std::vector<std::string>;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool LessNoCase(const std::string& a, const std::string& b) { return Upper(a) < Upper(b); }

// The text in `size` bytes up to its first NUL (strnlen, which msvcrt.dll of Windows 2000 lacks).
size_t TextLength(const char* text, size_t size) {
    size_t length = 0;
    while (length < size && text[length]) ++length;
    return length;
}

// A word of a call line as the scenario would write it: quoted when it holds a blank.
std::string Word(const std::string& text) {
    return text.find_first_of(" \t") == std::string::npos && !text.empty() ? text : Quoted(text);
}

// ---- registry ----

HKEY RootOf(const std::string& key, std::string* rest) {
    const size_t slash = key.find('\\');
    const std::string root = Upper(key.substr(0, slash));
    *rest = slash == std::string::npos ? "" : key.substr(slash + 1);
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (root == "HKCU" || root == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (root == "HKCR" || root == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    return HKEY_USERS;
}

// An open registry key, closed with the holder.
struct CKey {
    HKEY key = nullptr;
    ~CKey() {
        if (key) RegCloseKey(key);
    }
};

LONG OpenKey(const std::string& full, REGSAM access, CKey* key) {
    std::string sub;
    const HKEY root = RootOf(full, &sub);
    return RegOpenKeyExA(root, sub.c_str(), 0, access, &key->key);
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

// Every key from `path` down, each followed by its values in the order the registry enumerates them;
// subkeys in name order.
void CaptureKey(HKEY key, const std::string& path, const PathTokens& tokens, Lines* out) {
    out->push_back("key " + path);
    std::vector<char> name(16384), data(65536);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &dataSize) != ERROR_SUCCESS)
            break;
        const std::string valueName(name.data(), nameSize);
        out->push_back("value " + path + " " + (valueName.empty() ? std::string("@") : Quoted(valueName)) + " " +
                       ValueText(type, std::string(data.data(), dataSize), tokens));
    }
    auto children = SubkeyNames(key);
    std::sort(children.begin(), children.end(), LessNoCase);
    for (const auto& child : children) {
        CKey sub;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub.key) != ERROR_SUCCESS) {
            out->push_back("key " + path + "\\" + child + " cannot be opened");
            continue;
        }
        CaptureKey(sub.key, path + "\\" + child, tokens, out);
    }
}

// One value: "value KEY "NAME" TYPE DATA", or "... absent".
void CaptureValue(HKEY key, const std::string& path, const std::string& name, const PathTokens& tokens, Lines* out) {
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size()), type = 0;
    const std::string shown = "value " + path + " " + (name == "@" ? std::string("@") : Quoted(name));
    if (RegQueryValueExA(key, name == "@" ? nullptr : name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        out->push_back(shown + " absent");
    else
        out->push_back(shown + " " + ValueText(type, std::string(data.data(), size), tokens));
}

// ---- files ----

struct FileEntry {
    std::string name;
    bool folder;
    unsigned long size;
};

// The entries of a folder that match `pattern`, "." and ".." left out, in name order.
std::vector<FileEntry> ListFolder(const std::string& folder, const std::string& pattern) {
    std::vector<FileEntry> entries;
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, data.nFileSizeLow});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(entries.begin(), entries.end(),
              [](const FileEntry& a, const FileEntry& b) { return LessNoCase(a.name, b.name); });
    return entries;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes the folder and every missing one above it.
bool MakeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
        const std::string part = path.substr(0, at);
        if (!IsFolder(part) && !CreateDirectoryA(part.c_str(), nullptr)) return false;
        if (at == std::string::npos) return true;
    }
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read) bytes->append(buffer, read);
    CloseHandle(file);
    return ok;
}

// What a shell link points to, read through the shell's link object.
std::string LinkText(const std::string& path, const PathTokens& tokens) {
    static const bool initialized = SUCCEEDED(CoInitialize(nullptr));
    (void)initialized;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return "(no shell link object)";
    IPersistFile* file = nullptr;
    std::string text = "(unreadable link)";
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::vector<WCHAR> wide(path.begin(), path.end());  // the paths used are ASCII
        wide.push_back(0);
        if (SUCCEEDED(file->Load(wide.data(), STGM_READ))) {
            char target[MAX_PATH] = "", args[1024] = "", description[1024] = "", folder[MAX_PATH] = "";
            link->GetPath(target, MAX_PATH, nullptr, 0);
            link->GetArguments(args, sizeof args);
            link->GetDescription(description, sizeof description);
            link->GetWorkingDirectory(folder, MAX_PATH);
            text = "target=" + Quoted(tokens.Tokenize(target)) + " args=" + Quoted(tokens.Tokenize(args)) +
                   " description=" + Quoted(description) + " folder=" + Quoted(tokens.Tokenize(folder));
        }
        file->Release();
    }
    link->Release();
    return text;
}

// "file NAME size=N fnv=HASH", or for a shell link "link NAME" and what it points to.
std::string FileLine(const std::string& path, const std::string& name, unsigned long size, const PathTokens& tokens) {
    if (name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".LNK")
        return "link " + name + " " + LinkText(path, tokens);
    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) return "file " + name + " size=" + std::to_string(size) + " unreadable";
    return "file " + name + " size=" + std::to_string(size) + " fnv=" + Hex32(Fnv1a(bytes)).substr(2);
}

void CaptureFolder(const std::string& folder, const std::string& shown, const std::string& pattern,
                   const PathTokens& tokens, Lines* out) {
    for (const auto& entry : ListFolder(folder, pattern)) {
        const std::string path = folder + "\\" + entry.name, name = shown + "\\" + entry.name;
        if (entry.folder) {
            out->push_back("dir " + name);
            CaptureFolder(path, name, "*", tokens, out);
            continue;
        }
        out->push_back(FileLine(path, name, entry.size, tokens));
    }
}

void CaptureFile(const std::string& path, const std::string& shown, const PathTokens& tokens, Lines* out) {
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        out->push_back("file " + shown + " absent");
        return;
    }
    FindClose(find);
    out->push_back((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                       ? "dir " + shown
                       : FileLine(path, shown, data.nFileSizeLow, tokens));
}

// ---- services ----

DWORD ServiceTypeCode(const std::string& word) {
    if (word == "kernel") return SERVICE_KERNEL_DRIVER;
    if (word == "filesystem") return SERVICE_FILE_SYSTEM_DRIVER;
    if (word == "shared") return SERVICE_WIN32_SHARE_PROCESS;
    return SERVICE_WIN32_OWN_PROCESS;
}

DWORD StartTypeCode(const std::string& word) {
    static const char* const names[] = {"boot", "system", "auto", "demand", "disabled"};
    for (DWORD i = 0; i < 5; ++i)
        if (word == names[i]) return i;
    return SERVICE_DEMAND_START;
}

std::string ServiceTypeWord(DWORD type) {
    std::string word;
    switch (type & ~DWORD{SERVICE_INTERACTIVE_PROCESS}) {
        case SERVICE_KERNEL_DRIVER: word = "kernel"; break;
        case SERVICE_FILE_SYSTEM_DRIVER: word = "filesystem"; break;
        case SERVICE_WIN32_OWN_PROCESS: word = "own"; break;
        case SERVICE_WIN32_SHARE_PROCESS: word = "shared"; break;
        default: word = Hex32(type);
    }
    return (type & SERVICE_INTERACTIVE_PROCESS) ? word + "+interactive" : word;
}

std::string StartTypeWord(DWORD start) {
    static const char* const names[] = {"boot", "system", "auto", "demand", "disabled"};
    return start < 5 ? names[start] : Hex32(start);
}

std::string StateWord(DWORD state) {
    static const char* const names[] = {"?",       "stopped",          "start-pending", "stop-pending",
                                        "running", "continue-pending", "pause-pending", "paused"};
    return state < 8 ? names[state] : Hex32(state);
}

struct CService {
    SC_HANDLE manager = nullptr, service = nullptr;
    ~CService() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
};

void CaptureService(const std::string& name, const PathTokens& tokens, Lines* out) {
    CService s;
    s.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    s.service =
        s.manager ? OpenServiceA(s.manager, name.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS) : nullptr;
    if (!s.service) {
        const DWORD error = GetLastError();
        out->push_back("service " + name +
                       (error == ERROR_SERVICE_DOES_NOT_EXIST ? std::string(" absent")
                                                              : " cannot be opened: error " + std::to_string(error)));
        return;
    }
    std::vector<char> buffer(8192);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD needed = 0;
    SERVICE_STATUS status = {};
    const bool queried = QueryServiceStatus(s.service, &status) != FALSE;
    if (!QueryServiceConfigA(s.service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        out->push_back("service " + name + " config cannot be read: error " + std::to_string(GetLastError()));
        return;
    }
    out->push_back(
        "service " + name + " type=" + ServiceTypeWord(config->dwServiceType) +
        " start=" + StartTypeWord(config->dwStartType) + " error-control=" + std::to_string(config->dwErrorControl) +
        " state=" + (queried ? StateWord(status.dwCurrentState) : "error " + std::to_string(GetLastError())));
    out->push_back("service " + name + " display " + Quoted(config->lpDisplayName ? config->lpDisplayName : ""));
    out->push_back("service " + name + " binary " +
                   Quoted(tokens.Tokenize(config->lpBinaryPathName ? config->lpBinaryPathName : "")));
    out->push_back("service " + name + " group " + Quoted(config->lpLoadOrderGroup ? config->lpLoadOrderGroup : ""));
    std::string dependencies;
    for (const char* d = config->lpDependencies; d && *d; d += std::char_traits<char>::length(d) + 1)
        dependencies += (dependencies.empty() ? "" : " ") + Quoted(d);
    out->push_back("service " + name + " dependencies " + (dependencies.empty() ? "(none)" : dependencies));
}

bool DeleteServiceNamed(const std::string& name, std::string* why) {
    CService s;
    s.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!s.manager) {
        *why = "cannot open the service manager: error " + std::to_string(GetLastError());
        return false;
    }
    s.service = OpenServiceA(s.manager, name.c_str(), SERVICE_ALL_ACCESS);
    if (!s.service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status = {};
    ControlService(s.service, SERVICE_CONTROL_STOP, &status);
    if (!DeleteService(s.service) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        *why = "cannot delete the service " + name + ": error " + std::to_string(GetLastError());
        return false;
    }
    CloseServiceHandle(s.service);
    s.service = nullptr;
    // A running service goes once it has stopped: up to ten seconds.
    for (int i = 0; i < 100; ++i, Sleep(100)) {
        const SC_HANDLE left = OpenServiceA(s.manager, name.c_str(), SERVICE_QUERY_STATUS);
        if (!left) return true;
        CloseServiceHandle(left);
    }
    *why = "the service " + name + " is still there ten seconds after its deletion";
    return false;
}

// ---- pending renames ----

const char kSessionManager[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

bool IsNtFamily() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string WindowsFolder() {
    char path[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

void CapturePendingRenames(const PathTokens& tokens, Lines* out) {
    std::vector<std::pair<std::string, std::string>> renames;  // source, target ("" deletes)
    if (IsNtFamily()) {
        CKey key;
        std::vector<char> data(1 << 16);
        DWORD size = static_cast<DWORD>(data.size()), type = 0;
        if (OpenKey(kSessionManager, KEY_READ, &key) == ERROR_SUCCESS &&
            RegQueryValueExA(key.key, "PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            std::vector<std::string> items;
            for (size_t at = 0; at < size;) {
                const std::string item(data.data() + at, TextLength(data.data() + at, size - at));
                at += item.size() + 1;
                items.push_back(item);
            }
            // A list ends with an empty string, and a pair's second string may be empty itself.
            while (items.size() % 2) items.pop_back();
            for (size_t i = 0; i + 1 < items.size(); i += 2) {
                if (items[i].empty()) break;
                renames.emplace_back(items[i], items[i + 1]);
            }
        }
    } else {
        // WININIT.INI's [rename] section: TARGET=SOURCE a line, NUL as the target deletes.
        std::string text;
        if (ReadFileBytes(WindowsFolder() + "\\WININIT.INI", &text)) {
            std::istringstream in(text);
            std::string line;
            bool inRename = false;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (!line.empty() && line[0] == '[') {
                    inRename = Upper(line) == "[RENAME]";
                    continue;
                }
                const size_t equals = line.find('=');
                if (!inRename || equals == std::string::npos) continue;
                const std::string target = line.substr(0, equals);
                renames.emplace_back(line.substr(equals + 1), Upper(target) == "NUL" ? "" : target);
            }
        }
    }
    if (renames.empty()) out->push_back("pending-renames none");
    for (size_t i = 0; i < renames.size(); ++i)
        out->push_back(
            "rename " + std::to_string(i + 1) + " " + Quoted(tokens.Tokenize(renames[i].first)) + " -> " +
            (renames[i].second.empty() ? std::string("delete") : Quoted(tokens.Tokenize(renames[i].second))));
}

bool DeletePendingRenames(std::string* why) {
    if (!IsNtFamily()) {
        const std::string file = WindowsFolder() + "\\WININIT.INI";
        return DeleteFileA(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    CKey key;
    if (OpenKey(kSessionManager, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return true;
    const LONG deleted = RegDeleteValueA(key.key, "PendingFileRenameOperations");
    if (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) return true;
    *why = "cannot delete PendingFileRenameOperations: error " + std::to_string(deleted);
    return false;
}

// ---- state ----

// What the state lines leave for the end of the scenario: the files held open while the calls run, and
// the stand-ins put in place, which go again when the scenario is over (the machine keeps no program
// it did not have).
struct Leftovers {
    std::vector<HANDLE> held;
    std::vector<std::string> standIns;

    void CloseHeld() {
        for (HANDLE file : held) CloseHandle(file);
        held.clear();
    }
    // A stand-in still in use (a service left running) stays.
    void RemoveStandIns() {
        for (const auto& path : standIns) DeleteFileA(path.c_str());
        standIns.clear();
    }
};

bool ApplyState(const Step& step, const Scenario& scenario, const PathTokens& tokens, Leftovers* leftovers,
                std::string* why) {
    std::vector<std::string> a;
    for (const auto& arg : step.args) a.push_back(tokens.Expand(arg));
    if (step.verb == "hold") {
        // In use as a running program's file is: others may read it, not write, replace or delete it.
        const HANDLE file =
            CreateFileA(a[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            *why = "cannot open " + a[0] + ": error " + std::to_string(GetLastError());
        else
            leftovers->held.push_back(file);
        return file != INVALID_HANDLE_VALUE;
    }
    if (step.verb == "reg" || step.verb == "key") {
        std::string sub;
        const HKEY root = RootOf(a[0], &sub);
        CKey key;
        LONG made = RegCreateKeyExA(root, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.key, nullptr);
        if (made == ERROR_SUCCESS && step.verb == "reg") {
            DWORD type = 0;
            std::vector<BYTE> bytes;
            kvsim::IsTypeName(a[2], &type);
            kvsim::EncodeValue(type, std::vector<std::string>(a.begin() + 3, a.end()), &bytes, why);
            made = RegSetValueExA(key.key, a[1] == "@" ? nullptr : a[1].c_str(), 0, type, bytes.data(),
                                  static_cast<DWORD>(bytes.size()));
        }
        if (made != ERROR_SUCCESS) *why = "cannot write " + a[0] + ": error " + std::to_string(made);
        return made == ERROR_SUCCESS;
    }
    if (step.verb == "file" || step.verb == "copy") {
        std::string bytes = step.verb == "file" && a.size() > 1 ? a[1] : "";
        if (step.verb == "copy") {
            std::ifstream in(scenario.folder + step.args[0], std::ios::binary);
            if (!in) {
                *why = "cannot read " + scenario.folder + step.args[0];
                return false;
            }
            std::ostringstream contents;
            contents << in.rdbuf();
            bytes = contents.str();
        }
        const std::string& path = step.verb == "file" ? a[0] : a[1];
        if (!WriteFileBytes(path, bytes)) {
            *why = "cannot write " + path + ": error " + std::to_string(GetLastError());
            return false;
        }
        return true;
    }
    if (step.verb == "stand-in") {
        // A program the machine lacks (Wine has no runonce.exe), from the runner's own folder.
        if (GetFileAttributesA(a[1].c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        char program[MAX_PATH] = "";
        const std::string self(program, GetModuleFileNameA(nullptr, program, MAX_PATH));
        const std::string source = self.substr(0, self.find_last_of('\\') + 1) + a[0];
        // Without it (a simulated machine, where programs are described, not run) the file is made empty.
        std::string bytes;
        if (!ReadFileBytes(source, &bytes)) bytes.clear();
        if (!WriteFileBytes(a[1], bytes))
            *why = a[1] + " is missing and its stand-in cannot be put there";
        else
            leftovers->standIns.push_back(a[1]);
        return why->empty();
    }
    if (step.verb == "folder") {
        if (!MakeFolders(a[0])) *why = "cannot make the folder " + a[0] + ": error " + std::to_string(GetLastError());
        return why->empty();
    }
    if (step.verb == "service") {
        CService s;
        s.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        s.service = s.manager ? CreateServiceA(s.manager, a[0].c_str(), a[0].c_str(), SERVICE_ALL_ACCESS,
                                               ServiceTypeCode(a[2]), StartTypeCode(a[3]), SERVICE_ERROR_NORMAL,
                                               a[1].c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
                              : nullptr;
        if (!s.service) *why = "cannot create the service " + a[0] + ": error " + std::to_string(GetLastError());
        return s.service != nullptr;
    }
    // delete ...
    const std::string& what = a[0];
    if (what == "key") {
        std::string sub;
        const HKEY root = RootOf(a[1], &sub);
        const LONG deleted = DeleteTree(root, sub);
        if (deleted != ERROR_SUCCESS) *why = "cannot delete " + a[1] + ": error " + std::to_string(deleted);
        return deleted == ERROR_SUCCESS;
    }
    if (what == "value") {
        CKey key;
        if (OpenKey(a[1], KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return true;
        const LONG deleted = RegDeleteValueA(key.key, a[2] == "@" ? nullptr : a[2].c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            *why = "cannot delete the value " + a[2] + ": error " + std::to_string(deleted);
        return why->empty();
    }
    if (what == "file") {
        SetFileAttributesA(a[1].c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(a[1].c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
            GetLastError() != ERROR_PATH_NOT_FOUND)
            *why = "cannot delete " + a[1] + ": error " + std::to_string(GetLastError());
        return why->empty();
    }
    if (what == "folder") {
        if (IsFolder(a[1]) && !DeleteFolderTree(a[1]))
            *why = "cannot delete the folder " + a[1] + ": error " + std::to_string(GetLastError());
        return why->empty();
    }
    if (what == "service") return DeleteServiceNamed(a[1], why);
    return DeletePendingRenames(why);
}

// ---- calls ----

std::string ResultText(const kvsim::ExportInfo& info, long long result) {
    switch (info.result) {
        case kvsim::ResultKind::HResult: {
            const LONG hr = static_cast<LONG>(result);
            return Hex32(static_cast<unsigned long>(static_cast<DWORD>(hr))) + " (" + kvsim::ResultMeaning(hr) + ")";
        }
        case kvsim::ResultKind::Int:
        case kvsim::ResultKind::Bool: return std::to_string(result);
        case kvsim::ResultKind::None: break;
    }
    return "none";
}

std::string Call(HMODULE library, const Step& step, const PathTokens& tokens) {
    const kvsim::ExportInfo& info = *kvsim::FindExport(step.verb);
    std::string line = "call " + std::string(info.name);
    for (const auto& arg : step.args) line += " " + Word(arg);
    std::vector<kvsim::ArgValue> values(step.args.size());
    std::vector<HINF> infs;
    for (size_t i = 0; i < step.args.size(); ++i) {
        std::string ignored;
        kvsim::ParseArg(info.args[i], tokens.Expand(step.args[i]), &values[i], &ignored);
        if (values[i].kind != kvsim::ArgKind::Inf) continue;
        UINT errorLine = 0;
        values[i].inf = SetupOpenInfFileA(values[i].text.c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
        if (values[i].inf == INVALID_HANDLE_VALUE) {
            for (HINF inf : infs) SetupCloseInfFile(inf);
            return line + " -> the INF cannot be opened: error " + Hex32(GetLastError());
        }
        infs.push_back(values[i].inf);
    }
    const FARPROC function = GetProcAddress(library, kvsim::ExportedName(info));
    if (!function)
        line += " -> not exported";
    else {
        const long long result = info.invoke(function, values);
        line += " -> " + ResultText(info, result);
        if (info.drains) line += " reboot=" + std::to_string(kvsim::AskNeedReboot(library));
    }
    for (HINF inf : infs) SetupCloseInfFile(inf);
    return line;
}

std::string ReadShellFolder(const char* name) {
    CKey key;
    char path[MAX_PATH] = "";
    DWORD size = sizeof path, type = 0;
    if (OpenKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", KEY_READ, &key) !=
            ERROR_SUCCESS ||
        RegQueryValueExA(key.key, name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS)
        return "";
    return std::string(path, TextLength(path, size));
}

}  // namespace

std::string Hex32(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c == '"' || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Deletes a key and everything below it; a missing key is no fault.
LONG DeleteTree(HKEY parent, const std::string& sub) {
    {
        HKEY key = nullptr;
        const LONG opened = RegOpenKeyExA(parent, sub.c_str(), 0, KEY_ALL_ACCESS, &key);
        if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (opened != ERROR_SUCCESS) return opened;
        for (const auto& child : SubkeyNames(key)) {
            const LONG deleted = DeleteTree(key, child);
            if (deleted != ERROR_SUCCESS) {
                RegCloseKey(key);
                return deleted;
            }
        }
        RegCloseKey(key);
    }
    return RegDeleteKeyA(parent, sub.c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !MakeFolders(path.substr(0, slash))) return false;
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

bool DeleteFolderTree(const std::string& path) {
    for (const auto& entry : ListFolder(path, "*")) {
        const std::string child = path + "\\" + entry.name;
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!(entry.folder ? DeleteFolderTree(child) : DeleteFileA(child.c_str()) != FALSE)) return false;
    }
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

unsigned Fnv1a(const std::string& bytes) {
    unsigned hash = 2166136261u;
    for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
    return hash;
}

std::string ValueText(unsigned long type, const std::string& bytes, const PathTokens& tokens) {
    std::string data = bytes;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            if (!data.empty() && data.back() == '\0') data.pop_back();
            return std::string(type == REG_SZ ? "REG_SZ " : "REG_EXPAND_SZ ") + Quoted(tokens.Tokenize(data));
        case REG_DWORD:
            if (data.size() == 4) {
                const auto* b = reinterpret_cast<const unsigned char*>(data.data());
                return "REG_DWORD " +
                       Hex32(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<unsigned long>(b[3]) << 24));
            }
            break;
        case REG_MULTI_SZ: {
            std::string text = "REG_MULTI_SZ";
            bool first = true;
            for (size_t at = 0; at < data.size();) {
                const size_t end = data.find('\0', at);
                const std::string item = data.substr(at, end == std::string::npos ? std::string::npos : end - at);
                if (item.empty() && (end == std::string::npos || end + 1 >= data.size())) break;
                text += (first ? " " : ", ") + Quoted(tokens.Tokenize(item));
                first = false;
                if (end == std::string::npos) break;
                at = end + 1;
            }
            return text;
        }
    }
    std::string text = type == REG_BINARY ? "REG_BINARY " : "type " + std::to_string(type) + " ";
    for (size_t i = 0; i < data.size() && i < 32; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(data[i]));
        text += hex;
    }
    if (data.size() > 32)
        text += "... (" + std::to_string(data.size()) + " bytes, fnv=" + Hex32(Fnv1a(data)).substr(2) + ")";
    return text;
}

PathTokens MachineTokens() {
    PathTokens tokens;
    char path[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    tokens.folders.emplace_back("%SYSTEM%", std::string(path, length < MAX_PATH ? length : 0));
    tokens.folders.emplace_back("%WINDIR%", WindowsFolder());
    CKey key;
    DWORD size = sizeof path, type = 0;
    std::string programFiles;
    if (OpenKey("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", KEY_READ, &key) == ERROR_SUCCESS &&
        RegQueryValueExA(key.key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(path), &size) ==
            ERROR_SUCCESS)
        programFiles.assign(path, TextLength(path, size));
    tokens.folders.emplace_back("%PROGRAMFILES%", programFiles.empty() ? "C:\\Program Files" : programFiles);
    tokens.folders.emplace_back("%COMMONPROGRAMS%", ReadShellFolder("Common Programs"));
    return tokens;
}

bool RunScenario(const Scenario& scenario, std::string* dump, std::string* error) {
    const PathTokens tokens = MachineTokens();
    Leftovers leftovers;
    for (const auto& step : scenario.state) {
        std::string why;
        if (!ApplyState(step, scenario, tokens, &leftovers, &why)) {
            *error = "line " + std::to_string(step.line) + ": " + why;
            leftovers.CloseHeld();
            leftovers.RemoveStandIns();
            return false;
        }
    }
    Lines lines = {"scenario " + scenario.name};
    if (!scenario.calls.empty()) {
        const HMODULE library = LoadLibraryA("KVISINST.DLL");
        if (!library) {
            *error = "KVISINST.DLL cannot be loaded: error " + std::to_string(GetLastError());
            leftovers.CloseHeld();
            leftovers.RemoveStandIns();
            return false;
        }
        for (const auto& step : scenario.calls) {
            if (step.verb == "probe")
                RunProbe(step.args[0], std::strtoull(step.args[1].c_str(), nullptr, 10),
                         static_cast<unsigned>(std::strtoul(step.args[2].c_str(), nullptr, 10)), &lines);
            else
                lines.push_back(Call(library, step, tokens));
        }
        FreeLibrary(library);
    }
    leftovers.CloseHeld();
    for (const auto& step : scenario.capture) {
        const std::string path = step.args.empty() ? "" : tokens.Expand(step.args[0]);
        if (step.verb == "registry") {
            CKey key;
            if (OpenKey(path, KEY_READ, &key) != ERROR_SUCCESS)
                lines.push_back("registry " + step.args[0] + " absent");
            else if (step.args.size() == 1)
                CaptureKey(key.key, step.args[0], tokens, &lines);
            else
                CaptureValue(key.key, step.args[0], step.args[1], tokens, &lines);
        } else if (step.verb == "folder") {
            const std::string pattern = step.args.size() > 1 ? step.args[1] : "*";
            if (!IsFolder(path))
                lines.push_back("folder " + step.args[0] + " absent");
            else {
                lines.push_back("folder " + step.args[0] + (pattern == "*" ? "" : " " + pattern));
                CaptureFolder(path, step.args[0], pattern, tokens, &lines);
            }
        } else if (step.verb == "file") {
            CaptureFile(path, step.args[0], tokens, &lines);
        } else if (step.verb == "service") {
            CaptureService(step.args[0], tokens, &lines);
        } else {
            CapturePendingRenames(tokens, &lines);
        }
    }
    leftovers.RemoveStandIns();
    dump->clear();
    for (const auto& line : lines) *dump += line + "\n";
    return true;
}

}  // namespace scenario
