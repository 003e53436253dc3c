// The file-list walk and CleanUp on a real Windows (Wine): real COM libraries, an executable server
// and a type library are unregistered (each test binary deletes its own HKCU\Software\KvTest key when
// asked), a library that faults in DllUnregisterServer does not end the walk, and the removals land
// in the system's PendingFileRenameOperations as MoveFileExA writes them.
//
// The type library route starts the system directory's regtlib.exe, which Wine does not have: a
// stand-in that records its command line is put there for the test and taken away afterwards.
#include "kvisinst/cleanup/dlllist.h"
#include "shared/proc.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kTestKey[] = "Software\\KvTest";

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string SystemDirectory() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, MAX_PATH);
    return path;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void CreateKey(HKEY root, const std::string& path, const char* value = nullptr, const std::string& data = "") {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
        << path;
    if (value)
        RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

// A value of HKEY_CURRENT_USER\Software\KvTest or HKLM's Session Manager: REG_SZ whole, REG_MULTI_SZ as
// its strings (the empty ones kept, the closing one not).
std::vector<std::string> ReadStrings(HKEY root, const char* path, const char* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    DWORD size = 0;
    DWORD type = 0;
    std::vector<std::string> strings;
    if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        std::string data(size, '\0');
        RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(size);
        if (type == REG_SZ) strings.push_back(data.c_str());
        // Strings end at each NUL; the list ends with an empty one after the last string.
        for (size_t at = 0; type == REG_MULTI_SZ && at + 1 < data.size(); at = data.find('\0', at) + 1)
            strings.push_back(data.c_str() + at);
    }
    RegCloseKey(key);
    return strings;
}

std::vector<std::string> PendingRenames() {
    return ReadStrings(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                       "PendingFileRenameOperations");
}

// Whether the pending list deletes `path`: its NT form ("\??\" + path) followed by an empty target.
bool PendingDeletion(const std::vector<std::string>& pending, const std::string& path) {
    for (size_t i = 0; i + 1 < pending.size(); i += 2)
        if (lstrcmpiA(pending[i].c_str(), ("\\??\\" + path).c_str()) == 0 && pending[i + 1].empty()) return true;
    return false;
}

bool ReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// A folder of this run under the temporary directory, emptied and removed at the end.
class CTestFolder {
public:
    explicit CTestFolder(const char* base) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path_ = std::string(temp) + base + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~CTestFolder() {
        for (const std::string& name : names_) {
            SetFileAttributesA((path_ + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((path_ + "\\" + name).c_str());
        }
        RemoveDirectoryA(path_.c_str());
    }
    // Copies a program or library built beside the test under `name`, or writes a small file when
    // `builtName` is null.
    std::string Place(const char* builtName, const std::string& name, bool readOnly = false) {
        const std::string target = path_ + "\\" + name;
        names_.push_back(name);
        if (builtName) {
            EXPECT_TRUE(CopyFileA((ProgramFolder() + builtName).c_str(), target.c_str(), FALSE)) << name;
        } else {
            HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            EXPECT_NE(file, INVALID_HANDLE_VALUE) << name;
            CloseHandle(file);
        }
        if (readOnly) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        return target;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> names_;
};

// The regtlib.exe stand-in in the system directory for the life of the object; a regtlib.exe that was
// there before is put back.
class CRegtlibStandIn {
public:
    CRegtlibStandIn() : path_(SystemDirectory() + "\\regtlib.exe"), saved_(path_ + ".kvsaved") {
        hadOne_ = MoveFileA(path_.c_str(), saved_.c_str()) != 0;
        placed_ = CopyFileA((ProgramFolder() + "kvtestregtlib.exe").c_str(), path_.c_str(), FALSE) != 0;
    }
    ~CRegtlibStandIn() {
        DeleteFileA(path_.c_str());
        if (hadOne_) MoveFileA(saved_.c_str(), path_.c_str());
    }
    bool Placed() const { return placed_; }

private:
    std::string path_;
    std::string saved_;
    bool hadOne_ = false;
    bool placed_ = false;
};

TEST(DllList, UnregistersEachKindAndSchedulesTheRemovals) {
    CTestFolder folder("kvlist");
    const std::string dir = folder.Path();
    folder.Place("kvtestfault.dll", "fault.dll");
    folder.Place("kvtestcom.dll", "lib1.dll");
    folder.Place("kvtestcom.dll", "keep.ocx", true);
    folder.Place("kvtestsrv.exe", "server.EXE");
    folder.Place(nullptr, "types.tlb", true);
    folder.Place("kvtestcom.dll", "plain.dll");
    for (const char* name : {"lib1.dll", "keep.ocx", "server.EXE", "plain.dll"})
        CreateKey(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + name);
    CreateKey(HKEY_CURRENT_USER, kTestKey, "regtlib", "");
    CRegtlibStandIn regtlib;
    ASSERT_TRUE(regtlib.Placed());

    // The faulting library comes first: the walk must go on past it.
    CDllList list("fault.dll lib1.dll -keep.ocx server.EXE types.tlb ~plain.dll", nullptr);
    EXPECT_EQ(list.ProcessDLLs(dir.c_str()), S_OK);

    const struct {
        const char* name;
        bool hasKey;        // a test binary that deletes its own key when unregistered
        bool unregistered;  // that key is gone
        bool scheduled;     // its deletion is pending
    } rows[] = {
        {"fault.dll", false, false, true}, {"lib1.dll", true, true, true},    {"keep.ocx", true, true, false},
        {"server.EXE", true, true, true},  {"types.tlb", false, false, true}, {"plain.dll", true, false, true},
    };
    const std::vector<std::string> pending = PendingRenames();
    for (const auto& row : rows) {
        const std::string path = dir + "\\" + row.name;
        if (row.hasKey) {
            EXPECT_EQ(!KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + row.name), row.unregistered)
                << row.name;
        }
        EXPECT_EQ(PendingDeletion(pending, path), row.scheduled) << row.name;
        // A file scheduled for deletion is made writable first; one that stays is left as it was.
        EXPECT_EQ(ReadOnly(path), std::string(row.name) == "keep.ocx") << row.name;
    }
    EXPECT_EQ(ReadStrings(HKEY_CURRENT_USER, kTestKey, "regtlib"),
              std::vector<std::string>{"/u " + dir + "\\types.tlb\n"});
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
}

const char kKorvane[] = "Software\\Korvane";
const char* const kSharedTrees[] = {"Admin", "Applications", "Operations", "QLMSubsystems"};
const char* const kUninstallRoots[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                       "Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall"};

TEST(CleanUp, RemovesWhatTheEditionNames) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    const auto cleanUp = ProcAs<int(WINAPI*)(char*)>(GetProcAddress(module, "CleanUp"));
    ASSERT_NE(cleanUp, nullptr);

    const struct {
        const char* edition;
        bool quillexPro102;  // Quillex Pro 1.0.002 installed, its files in a folder of its own
        bool toolkitEntriesGo;
    } rows[] = {
        {"QUILLEXPRO103", true, false},
        {"ORVELSDK203", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.edition);
        CTestFolder product("kvproduct");
        const std::string korvane = kKorvane;
        for (const char* tree : kSharedTrees) CreateKey(HKEY_LOCAL_MACHINE, korvane + "\\" + tree + "\\Settings");
        for (const char* root : kUninstallRoots) {
            CreateKey(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit", "DisplayName", "Korvane Toolkit");
            CreateKey(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit 2");
        }
        CreateKey(HKEY_LOCAL_MACHINE, korvane + "\\Quillex Pro\\1.0.002");
        if (row.quillexPro102) {
            CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro", "Version", "1.0.002.000");
            CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro", "ProductPath", product.Path());
            product.Place(nullptr, "QuillexPro.exe", true);
            product.Place(nullptr, "QpCore.dll");
            product.Place("kvtestcom.dll", "QpViewer.ocx");
            CreateKey(HKEY_CURRENT_USER, std::string(kTestKey) + "\\QpViewer.ocx");
        }
        char edition[32];
        lstrcpyA(edition, row.edition);
        EXPECT_EQ(cleanUp(edition), 1);

        for (const char* tree : kSharedTrees)
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, korvane + "\\" + tree)) << tree;
        for (const char* root : kUninstallRoots) {
            EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit"), !row.toolkitEntriesGo)
                << root;
            EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit 2")) << root;
        }
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, korvane + "\\Quillex Pro"), !row.quillexPro102);
        if (row.quillexPro102) {
            // Its product files were made writable, its control unregistered, its files scheduled.
            EXPECT_FALSE(ReadOnly(product.Path() + "\\QuillexPro.exe"));
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\QpViewer.ocx"));
            const std::vector<std::string> pending = PendingRenames();
            EXPECT_TRUE(PendingDeletion(pending, product.Path() + "\\QpViewer.ocx"));
            EXPECT_TRUE(PendingDeletion(pending, product.Path() + "\\QpCore.dll"));
        }

        for (const char* root : kUninstallRoots) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(root) + "\\Korvane Toolkit").c_str());
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(root) + "\\Korvane Toolkit 2").c_str());
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (korvane + "\\Quillex Pro").c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro");
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    }
    FreeLibrary(module);
}

}  // namespace
