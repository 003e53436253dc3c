// The file-list walk and CleanUp on a real Windows (Wine): real COM libraries, an executable server
// and a type library are unregistered (each test binary deletes its own HKCU\Software\KvTest key when
// asked), a library that faults in DllUnregisterServer does not end the walk, and the removals land
// in the system's PendingFileRenameOperations as MoveFileExA writes them.
//
// The type library route starts the system directory's regtlib.exe, which Wine does not have: a
// stand-in that records its command line is put there for the test and taken away afterwards.
#include "kvisinst/cleanup/dlllist.h"
#include "kvisinst/cleanup/productfiles.h"
#include "windows/win_testing.h"

#include <sstream>

namespace {

const char kTestKey[] = "Software\\KvTest";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::vector<std::string> PendingRenames() {
    return ReadStrings(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
}

// Whether the pending list deletes `path`: its NT form ("\??\" + path) followed by an empty target.
bool PendingDeletion(const std::string& path) {
    const std::vector<std::string> pending = PendingRenames();
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

TEST(DllList, UnregistersEachKindAndSchedulesTheRemovals) {
    CTestFolder folder("kvlist");
    const std::string dir = folder.Path(), regtlib = SystemDirectory() + "\\regtlib.exe";
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "kvtestregtlib.exe").c_str(), regtlib.c_str(), FALSE));
    SetString(HKEY_CURRENT_USER, kTestKey, "regtlib", "");
    const struct {
        const char* name;
        const char* built;  // the test binary copied under that name; null: an empty file
        int key;            // a key the binary deletes when unregistered: 0 none, 1 deleted, 2 kept
        bool scheduled;     // its deletion is pending, and it was made writable for it
    } rows[] = {
        // The faulting library comes first: the walk must go on past it.
        {"fault.dll", "kvtestfault.dll", 0, true}, {"lib1.dll", "kvtestcom.dll", 1, true},
        {"keep.ocx", "kvtestcom.dll", 1, false},   {"server.EXE", "kvtestsrv.exe", 1, true},
        {"types.tlb", nullptr, 0, true},           {"plain.dll", "kvtestcom.dll", 2, true},
    };
    for (const auto& row : rows) {
        folder.Place(row.built, row.name, true);  // read-only
        if (row.key) SetString(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + row.name);
    }

    CDllList list("fault.dll lib1.dll -keep.ocx server.EXE types.tlb ~plain.dll", nullptr);
    EXPECT_EQ(list.ProcessDLLs(dir.c_str()), S_OK);

    for (const auto& row : rows) {
        const std::string path = dir + "\\" + row.name;
        if (row.key) {
            EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + row.name), row.key == 2) << row.name;
        }
        EXPECT_EQ(PendingDeletion(path), row.scheduled) << row.name;
        EXPECT_EQ(ReadOnly(path), !row.scheduled) << row.name;
    }
    EXPECT_EQ(ReadStrings(HKEY_CURRENT_USER, kTestKey, "regtlib"),
              std::vector<std::string>{"/u " + dir + "\\types.tlb\n"});
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    DeleteFileA(regtlib.c_str());
}

const char kKorvane[] = "Software\\Korvane";
const char* const kSharedTrees[] = {"Admin", "Applications", "Operations", "QLMSubsystems"};
const char* const kUninstallRoots[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                                       "Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall"};

TEST(CleanUp, RemovesWhatTheEditionNames) {
    CKvisinst library;
    const auto cleanUp = library.Export<int(WINAPI*)(char*)>("CleanUp");
    ASSERT_NE(cleanUp, nullptr);

    const struct {
        const char* edition;
        bool quillexPro102;  // Quillex Pro 1.0.002 installed, its files in a folder of its own
        bool toolkitEntriesGo;
    } rows[] = {
        {"QUILLEXPRO103", true, false},
        {"ORVELSDK203", false, true},
    };
    const std::string korvane = kKorvane;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.edition);
        CTestFolder product("kvproduct");
        for (const char* tree : kSharedTrees) SetString(HKEY_LOCAL_MACHINE, korvane + "\\" + tree + "\\Settings");
        for (const char* root : kUninstallRoots) {
            SetString(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit", "DisplayName", "Korvane Toolkit");
            SetString(HKEY_LOCAL_MACHINE, std::string(root) + "\\Korvane Toolkit 2");
        }
        SetString(HKEY_LOCAL_MACHINE, korvane + "\\Quillex Pro\\1.0.002");
        if (row.quillexPro102) {
            SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro", "Version", "1.0.002.000");
            SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro", "ProductPath", product.Path());
            product.Place(nullptr, "QuillexPro.exe", true);
            product.Place(nullptr, "QpCore.dll");
            product.Place("kvtestcom.dll", "QpViewer.ocx");
            SetString(HKEY_CURRENT_USER, std::string(kTestKey) + "\\QpViewer.ocx");
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
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(root) + "\\Korvane Toolkit").c_str());
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(root) + "\\Korvane Toolkit 2").c_str());
        }
        EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, korvane + "\\Quillex Pro"), !row.quillexPro102);
        if (row.quillexPro102) {
            // Its product files were made writable, its control unregistered, its files scheduled.
            EXPECT_FALSE(ReadOnly(product.Path() + "\\QuillexPro.exe"));
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\QpViewer.ocx"));
            EXPECT_TRUE(PendingDeletion(product.Path() + "\\QpViewer.ocx"));
            EXPECT_TRUE(PendingDeletion(product.Path() + "\\QpCore.dll"));
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (korvane + "\\Quillex Pro").c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\QuillexPro");
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    }
}

TEST(CleanUpPS, UnregistersAndSchedulesTheCompanionsFiles) {
    CKvisinst library;
#ifdef _WIN64
    const char* const exportNames[] = {"CleanUpPS", "?CleanUpPS@@YAHPEAD@Z"};
#else
    const char* const exportNames[] = {"CleanUpPS", "?CleanUpPS@@YGHPAD@Z"};
#endif
    for (const char* exportName : exportNames) {
        const auto cleanUpPS = library.Export<int(WINAPI*)(char*)>(exportName);
        ASSERT_NE(cleanUpPS, nullptr);
        CTestFolder folder("kvpsfiles");
        std::istringstream list(kPrivateSpaceList);
        std::vector<std::string> names;
        for (std::string name; list >> name;) {
            names.push_back(name);
            folder.Place(name.find(".exe") != std::string::npos ? "kvtestsrv.exe" : "kvtestcom.dll", name);
            SetString(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + name);
        }
        std::string directory = folder.Path();
        EXPECT_EQ(cleanUpPS(&directory[0]), 1) << exportName;
        for (const std::string& name : names) {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\" + name))
                << exportName << " " << name;
            EXPECT_TRUE(PendingDeletion(directory + "\\" + name)) << exportName << " " << name;
        }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
}

// Takes the pending deletion of `path` off the list again.
void RemovePendingDeletion(const std::string& path) {
    std::string data;
    const std::vector<std::string> pending = PendingRenames();
    for (size_t i = 0; i + 1 < pending.size(); i += 2)
        if (lstrcmpiA(pending[i].c_str(), ("\\??\\" + path).c_str()) != 0)
            data += pending[i] + '\0' + pending[i + 1] + '\0';
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    data += '\0';
    RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

TEST(ClearPrivateSpace, SchedulesTheAuthenticationLibraryBesideTheUninstallLog) {
    CKvisinst library;
    const auto clearPrivateSpace = library.Export<void (*)()>("ClearPrivateSpace");
    ASSERT_NE(clearPrivateSpace, nullptr);
    CTestFolder folder("kvps");
    const std::string target = folder.Place(nullptr, "kvauthsv.dll");
    const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillex Private Space";
    const struct {
        std::string uninstallString;
        bool scheduled;
    } rows[] = {
        {"C:\\x\\uninst.exe -f\"" + folder.Path() + "\\log.txt\"", true},
        {"C:\\x\\uninst.exe -f" + folder.Path() + "\\log.txt", true},
        {"C:\\x\\uninst.exe " + folder.Path() + "\\log.txt", false},
    };
    for (const auto& row : rows) {
        SetString(HKEY_LOCAL_MACHINE, entry, "UninstallString", row.uninstallString);
        clearPrivateSpace();
        EXPECT_EQ(PendingDeletion(target), row.scheduled) << row.uninstallString;
        RemovePendingDeletion(target);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, entry.c_str());
}

}  // namespace
