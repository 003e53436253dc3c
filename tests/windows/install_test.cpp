// The installation entry points of KVISINST.DLL on a real Windows (Wine): InstallFromINF with INF files
// that the system's SetupAPI installs (a file copied, registry values added), and the registry install
// queue drained by InstallFromRegistry, InstallUninstall and VoidInstallUninstall. What ran, and in
// which order, is read back from one trail (kvtest/mark.h): each INF section appends its own string
// through AddReg, the runonce stand-in (runonce/) and the remote-test library (kvtest/) theirs.
//
// Where Wine 8 differs from Windows, as observed here:
// - Wine has no runonce.exe; the tests put the stand-in into the INF's folder, the current directory
//   when the installation starts "runonce". Without it the call returns E_UNEXPECTED.
// - A copy onto a file in use (held open without sharing, or a running program) is delayed as on
//   Windows: SetupAPI copies the new file to a temporary file in the temporary folder and records its
//   rename onto the target (no "!" before it) in PendingFileRenameOperations. But it never sends
//   SPFILENOTIFY_FILEOPDELAYED, so InstallFromINF returns 0 where Windows gives 1, and no queue drain
//   can set the reboot flag: NeedReboot's 1 and the drains' result 1 are proven on winsim only.
// - SetupInstallFromInfSectionA does not fail for any section that could be written: a missing
//   section, an AddReg line with an unknown root or a key that cannot be made all succeed; a CopyFiles
//   source that is missing makes the default queue callback ask for the medium without end, and a
//   destination folder that cannot be made (one under a file) hangs the copy. A failing post-section
//   is proven on winsim; here E_UNEXPECTED comes from the missing runonce.
// - AddReg's append to a multi-string (FLG_ADDREG_APPEND) adds nothing when the value does not exist,
//   writes over a first string that is empty, and may leave a stray character after the closing empty
//   string; the trail is built to live with that.
#include "windows/win_testing.h"

#include <algorithm>

namespace {

#ifdef _WIN64
const char kInstallFromINF[] = "?InstallFromINF@@YAJPEADH0000@Z";
const char kVoidInstallUninstall[] = "?VoidInstallUninstall@@YAXPEAUHWND__@@PEAUHINSTANCE__@@PEAGH@Z";
#else
const char kInstallFromINF[] = "?InstallFromINF@@YAJPADH0000@Z";
const char kVoidInstallUninstall[] = "?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z";
#endif
using InstallFromINFExport = long (*)(char*, int, char*, char*, char*, char*);
using DrainExport = long (*)(int);
using InstallUninstallExport = long (*)();
using VoidInstallUninstallExport = void(WINAPI*)(HWND, HINSTANCE, unsigned short*, int);
using NeedRebootExport = int (*)();

using Strings = std::vector<std::string>;
const char kTrailKey[] = "Software\\KvInstallTest";  // the trail in HKCU; INF values in HKLM
const char kKorvane[] = "Software\\Korvane";
const char kSaved[] = "Software\\KvInstallTestSaved";  // HKLM: what "Software\Korvane" held before
const char kProduct[] = "SOFTWARE\\Korvane\\QuillexPro";
const std::string kAdd = "Software\\Korvane\\Install\\Add", kRemove = "Software\\Korvane\\Install\\Remove";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The trail after its first string, up to its first empty string (kvtest/mark.h).
Strings Trail() {
    Strings trail = ReadStrings(HKEY_CURRENT_USER, kTrailKey, "sequence");
    trail.erase(std::find(trail.begin(), trail.end(), ""), trail.end());
    return trail.empty() ? trail : Strings(trail.begin() + 1, trail.end());
}

// A new trail. It starts with a string: Wine's AddReg appends nothing to a multi-string value that
// does not exist and writes over a first string that is empty.
void StartTrail() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTrailKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "sequence", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("trail\0"), 7);
    RegCloseKey(key);
}

std::string CurrentDirectory() {
    char path[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, path);
    return path;
}

void WriteText(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) << path;
    CloseHandle(file);
}

std::string ReadText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char text[64] = {};
    DWORD read = 0;
    if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    return text;
}

DWORD ValueCount(const std::string& path) {
    HKEY key = nullptr;
    DWORD values = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return values;
}

void DeleteFolder(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        DeleteFileA((path + "\\" + found.cFileName).c_str());
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryA(path.c_str());
}

// An INF whose sections each leave "<tag>", "<tag> default", "<tag> pre" or "<tag> post" on the trail;
// "Main" and "DefaultInstall" also copy payload.txt into `dest`, "Main" adds HKLM value `tag`, and
// "InUse" copies agent.exe.
std::string InfText(const std::string& tag, const std::string& dest) {
    const std::string mark = "HKCU," + std::string(kTrailKey) + ",sequence,0x00010008,\"" + tag;
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\n[DestinationDirs]\r\nDefaultDestDir=-1,\"" + dest +
           "\"\r\n[SourceDisksNames]\r\n1=disk\r\n[SourceDisksFiles]\r\npayload.txt=1\r\nagent.exe=1\r\n"
           "[Files]\r\npayload.txt\r\n[Main]\r\nCopyFiles=Files\r\nAddReg=MainReg\r\n[MainReg]\r\n" +
           mark + "\"\r\nHKLM," + kTrailKey + "," + tag +
           ",,installed\r\n[DefaultInstall]\r\nCopyFiles=Files\r\nAddReg=DefaultReg\r\n[DefaultReg]\r\n" + mark +
           " default\"\r\n[Pre]\r\nAddReg=PreReg\r\n[PreReg]\r\n" + mark + " pre\"\r\n[Post]\r\nAddReg=PostReg\r\n" +
           "[PostReg]\r\n" + mark + " post\"\r\n[InUse]\r\nCopyFiles=InUseFiles\r\n[InUseFiles]\r\nagent.exe\r\n";
}

// The INF folder of a test: INF files "<tag>.inf" for the tags given, the payload they copy, and the
// runonce stand-in unless told otherwise; they copy into a folder of their own. A temporary folder, or
// the test program's own folder (`besideProgram`, for a call that names no source directory, without
// the stand-in there). Whatever it placed, and the copies, go at the end.
class CInstallFolder {
public:
    explicit CInstallFolder(const Strings& tags, bool runonce = true, bool besideProgram = false) {
        static int count = 0;
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        const std::string unique = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
        dest_ = temp + ("kvdest" + unique);
        const std::string program = ProgramFolder();
        path_ = besideProgram ? program.substr(0, program.size() - 1) : temp + ("kvinst" + unique);
        if (!besideProgram) {
            EXPECT_TRUE(CreateDirectoryA(path_.c_str(), nullptr)) << path_;
        }
        for (const std::string& tag : tags) Place(tag + ".inf", InfText(tag, dest_));
        Place("payload.txt", "new payload");
        if (runonce) Place("runonce.exe", nullptr);
        owned_ = !besideProgram;
    }
    ~CInstallFolder() {
        DeleteFolder(dest_);
        if (owned_) DeleteFolder(path_);
        for (const std::string& name : names_) DeleteFileA((path_ + "\\" + name).c_str());
    }
    CInstallFolder(const CInstallFolder&) = delete;
    CInstallFolder& operator=(const CInstallFolder&) = delete;

    // Writes `text` as `name`; with no text, copies the program built beside the test under that name.
    void Place(const std::string& name, const char* text) {
        names_.push_back(name);
        if (text) return WriteText(path_ + "\\" + name, text);
        const char* built = name == "runonce.exe" ? "kvtestrunonce.exe" : name.c_str();
        EXPECT_TRUE(CopyFileA((ProgramFolder() + built).c_str(), (path_ + "\\" + name).c_str(), FALSE)) << name;
    }
    void Place(const std::string& name, const std::string& text) { Place(name, text.c_str()); }
    const std::string& Path() const { return path_; }
    const std::string& Dest() const { return dest_; }

private:
    std::string path_, dest_;
    Strings names_;
    bool owned_ = false;
};

// Copies the HKLM tree `from` into `to`, made when missing; false when `from` does not open.
bool CopyTree(const char* from, const char* to) {
    HKEY source = nullptr, target = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, from, 0, KEY_READ, &source) != ERROR_SUCCESS) return false;
    const bool copied = RegCreateKeyExA(HKEY_LOCAL_MACHINE, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                                        nullptr) == ERROR_SUCCESS &&
                        RegCopyTreeA(source, nullptr, target) == ERROR_SUCCESS;
    RegCloseKey(source);
    if (target) RegCloseKey(target);
    return copied;
}

// Every test starts without HKLM "Software\Korvane" (a pure uninstall deletes it) and gives back what
// it held; the trail and the INF values go.
class InstallTest : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSaved);
        saved_ = CopyTree(kKorvane, kSaved);
        ASSERT_TRUE(saved_ || !KeyExists(HKEY_LOCAL_MACHINE, kKorvane)) << "cannot save HKLM\\Software\\Korvane";
        Reset();
    }
    void TearDown() override {
        Reset();
        RegDeleteTreeA(HKEY_CURRENT_USER, kTrailKey);
        if (saved_) {
            EXPECT_TRUE(CopyTree(kSaved, kKorvane));
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSaved);
    }
    // What one row of a test leaves.
    static void Reset() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKorvane);
        RegDeleteTreeA(HKEY_CURRENT_USER, kTrailKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTrailKey);
        StartTrail();
    }

    // InstallFromINF through its export; null strings stay null.
    long InstallFromINF(const std::string& inf, int install, const char* dir, const char* section,
                        const char* pre = nullptr, const char* post = nullptr) {
        const auto call = library_.Export<InstallFromINFExport>(kInstallFromINF);
        std::string text[] = {inf, dir ? dir : "", section ? section : "", pre ? pre : "", post ? post : ""};
        const auto arg = [&](const char* given, std::string& copy) { return given ? &copy[0] : nullptr; };
        return call ? call(&text[0][0], install, arg(dir, text[1]), arg(section, text[2]), arg(pre, text[3]),
                           arg(post, text[4]))
                    : -1;
    }

    CKvisinst library_;
    bool saved_ = false;
};

TEST_F(InstallTest, InstallFromINFRunsPreMainRunonceAndPostInOrder) {
    const struct {
        const char* name;
        int source;  // 0: the folder with its closing backslash, 1: without, 2: null (the program's folder)
        const char* section;
        bool runonce;
        long result;
        Strings trail;
    } rows[] = {
        {"closing backslash", 0, "Main", true, S_OK, {"t pre", "t", "runonce", "t post"}},
        {"no closing backslash, default section", 1, nullptr, true, S_OK, {"t pre", "t default", "runonce", "t post"}},
        // Without runonce the call fails, after the post-section.
        {"no runonce", 1, "Main", false, E_UNEXPECTED, {"t pre", "t", "t post"}},
        {"no source directory", 2, "Main", false, E_UNEXPECTED, {"t pre", "t", "t post"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CInstallFolder folder({"t"}, row.runonce, row.source == 2);
        const std::string dir = folder.Path() + (row.source == 0 ? "\\" : ""), before = CurrentDirectory();
        EXPECT_EQ(InstallFromINF("t.inf", 1, row.source == 2 ? nullptr : dir.c_str(), row.section, "Pre", "Post"),
                  row.result);
        EXPECT_EQ(Trail(), row.trail);
        EXPECT_EQ(ReadText(folder.Dest() + "\\payload.txt"), "new payload");
        EXPECT_EQ(ReadStrings(HKEY_LOCAL_MACHINE, kTrailKey, "t"), Strings(row.section ? 1 : 0, "installed"));
        EXPECT_EQ(CurrentDirectory(), before);
        Reset();
    }
}

TEST_F(InstallTest, InstallFromINFWithoutItsINFIsInvalidArgumentAndRunsNothing) {
    CInstallFolder folder({"t"});
    const std::string before = CurrentDirectory();
    const struct {
        std::string dir;
        const char* inf;
    } rows[] = {{folder.Path(), "none.inf"}, {folder.Path() + "\\missing", "t.inf"}};
    for (const auto& row : rows) {
        EXPECT_EQ(InstallFromINF(row.inf, 1, row.dir.c_str(), "Main"), E_INVALIDARG) << row.dir << " " << row.inf;
        EXPECT_EQ(CurrentDirectory(), before) << row.inf;
        EXPECT_EQ(Trail(), Strings()) << row.inf;
    }
}

// The pending renames as (source, target) pairs of PendingFileRenameOperations.
std::vector<std::pair<std::string, std::string>> PendingRenames() {
    const Strings list = ReadStrings(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < list.size(); i += 2) pairs.emplace_back(list[i], list[i + 1]);
    return pairs;
}

// Whether the pending target names `path`: its NT form, after a "!" when it replaces a file.
bool Onto(const std::string& pendingTarget, const std::string& path) {
    return lstrcmpiA(pendingTarget.c_str() + (pendingTarget[0] == '!'), ("\\??\\" + path).c_str()) == 0;
}

// Takes the renames onto `target` off the list again, and deletes the files they would have moved.
void DropPendingRenamesOnto(const std::string& target) {
    std::string data;
    for (const auto& pair : PendingRenames()) {
        if (Onto(pair.second, target))
            DeleteFileA(pair.first.c_str() + 4);
        else
            data += pair.first + '\0' + pair.second + '\0';
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    data += '\0';
    if (data.size() == 1)
        RegDeleteValueA(key, "PendingFileRenameOperations");
    else
        RegSetValueExA(key, "PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// Wine delays the copy as Windows does but does not say so: the result is 0, not 1 (see the top).
TEST_F(InstallTest, InstallFromINFLeavesACopyOntoAFileInUseForTheRestart) {
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "a running program" : "a file open without sharing");
        CInstallFolder folder({"t"});
        folder.Place("agent.exe", "new agent");
        const std::string target = folder.Dest() + "\\agent.exe";
        CreateDirectoryA(folder.Dest().c_str(), nullptr);
        HANDLE holder = INVALID_HANDLE_VALUE;
        PROCESS_INFORMATION agent = {};
        if (running) {
            // The host stand-in under a name without "kvhost", which the installation would wait for.
            ASSERT_TRUE(CopyFileA((ProgramFolder() + "kvhost_test.exe").c_str(), target.c_str(), FALSE));
            const std::string event = "KvAgentReady" + std::to_string(GetCurrentProcessId());
            HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
            std::string commandLine = "\"" + target + "\" ignores " + event;
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                       &agent));
            EXPECT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);
            CloseHandle(ready);
        } else {
            WriteText(target, "old agent");
            holder = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        }

        EXPECT_EQ(InstallFromINF("t.inf", 1, folder.Path().c_str(), "InUse"), S_OK);  // Windows: 1

        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
        if (agent.hProcess) {
            TerminateProcess(agent.hProcess, 0);
            WaitForSingleObject(agent.hProcess, 30000);
            CloseHandle(agent.hThread);
            CloseHandle(agent.hProcess);
        }
        EXPECT_NE(ReadText(target), "new agent");
        std::string delayed;  // the file that the restart would move onto the target
        for (const auto& pair : PendingRenames())
            if (Onto(pair.second, target)) delayed = pair.first.substr(4);
        EXPECT_EQ(ReadText(delayed), "new agent") << "no pending rename onto " << target;
        DropPendingRenamesOnto(target);
    }
}

// The queue tests' INF folder holds first.inf, second.inf, removed.inf and added.inf, and the
// remote-test library; the product's folder is that folder.
class InstallQueue : public InstallTest {
protected:
    void SetUp() override {
        InstallTest::SetUp();
        folder_.Place("kvtest.dll", nullptr);
    }
    void SetProductPath(bool backslash = false) {
        SetString(HKEY_LOCAL_MACHINE, kProduct, "ProductPath", folder_.Path() + (backslash ? "\\" : ""));
    }
    long Drain(int add) {
        const auto drain = library_.Export<DrainExport>("?InstallFromRegistry@@YAJH@Z");
        return drain ? drain(add) : -1;
    }

    CInstallFolder folder_{{"first", "second", "removed", "added"}};
    const std::string dir_ = folder_.Path();
};

TEST_F(InstallQueue, AddQueueRunsEachEntryInOrderAndThenTheRemoteTest) {
    const auto needReboot = library_.Export<NeedRebootExport>("?NeedReboot@@YAHXZ");
    ASSERT_NE(needReboot, nullptr);
    for (const bool backslash : {false, true}) {
        SCOPED_TRACE(backslash ? "ProductPath with a closing backslash" : "ProductPath without");
        SetProductPath(backslash);
        // Both delimiters; fields 4 and 5 are the pre- and post-section.
        SetString(HKEY_LOCAL_MACHINE, kAdd, "1", "first.inf," + dir_ + ";Main,Pre;Post");
        SetString(HKEY_LOCAL_MACHINE, kAdd, "2", "second.inf;" + dir_);
        EXPECT_EQ(Drain(1), S_OK);
        EXPECT_EQ(Trail(),
                  Strings({"first pre", "first", "runonce", "first post", "second default", "runonce", "remote test"}));
        EXPECT_EQ(ValueCount(kAdd), 0u);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAdd + "\\Failed"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProduct)) << "not a pure uninstall";
        // No entry can return 1 under Wine (see the top).
        EXPECT_EQ(needReboot(), 0);
        Reset();
    }
}

TEST_F(InstallQueue, AFailingEntryIsRecordedTheOthersRunAndTheRemoteTestIsSkipped) {
    SetProductPath();
    SetString(HKEY_LOCAL_MACHINE, kAdd + "\\Failed", "stale", "Error: 80004005");
    SetString(HKEY_LOCAL_MACHINE, kAdd, "1", "missing.inf," + dir_);
    SetString(HKEY_LOCAL_MACHINE, kAdd, "2", "second.inf," + dir_ + ",Main");
    EXPECT_EQ(Drain(1), E_INVALIDARG);
    EXPECT_EQ(Trail(), Strings({"second", "runonce"}));
    EXPECT_EQ(ReadStrings(HKEY_LOCAL_MACHINE, kAdd + "\\Failed", "1"), Strings{"Error: 80070057"});
    EXPECT_EQ(ValueCount(kAdd + "\\Failed"), 1u) << "the last drain's records only";
    EXPECT_EQ(ValueCount(kAdd), 0u);
}

TEST_F(InstallQueue, InstallUninstallDrainsRemoveThenAddAndCombinesTheirResults) {
    const auto installUninstall = library_.Export<InstallUninstallExport>("?InstallUninstall@@YAJXZ");
    const auto voidInstallUninstall = library_.Export<VoidInstallUninstallExport>(kVoidInstallUninstall);
    ASSERT_TRUE(installUninstall && voidInstallUninstall);
    const struct {
        bool rundll;  // through the rundll32 entry, which returns nothing
        const char* removeInf;
        long result;
        Strings trail;
    } rows[] = {
        {false, "missing.inf", E_UNEXPECTED, {"added", "runonce", "remote test"}},
        {false, "removed.inf", S_OK, {"removed", "runonce", "added", "runonce", "remote test"}},
        {true, "removed.inf", S_OK, {"removed", "runonce", "added", "runonce", "remote test"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.rundll ? "VoidInstallUninstall " : "InstallUninstall ") + row.removeInf);
        SetProductPath();
        SetString(HKEY_LOCAL_MACHINE, kRemove, "1", std::string(row.removeInf) + "," + dir_ + ",Main");
        SetString(HKEY_LOCAL_MACHINE, kAdd, "1", "added.inf," + dir_ + ",Main");
        if (row.rundll) {
            voidInstallUninstall(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
        } else {
            EXPECT_EQ(installUninstall(), row.result);
        }
        EXPECT_EQ(Trail(), row.trail);
        EXPECT_EQ(ValueCount(kRemove + "\\Failed"), row.result == S_OK ? 0u : 1u);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kProduct)) << "not a pure uninstall";
        Reset();
    }
}

TEST_F(InstallQueue, PureUninstallDeletesTheProductTreeAndRunsNoRemoteTest) {
    for (const bool emptyAddKey : {false, true}) {
        SCOPED_TRACE(emptyAddKey ? "an empty Add key" : "no Add key");
        SetProductPath();
        SetString(HKEY_LOCAL_MACHINE, std::string(kProduct) + "\\Settings", "Reader", "1");
        if (emptyAddKey) SetString(HKEY_LOCAL_MACHINE, kAdd);
        SetString(HKEY_LOCAL_MACHINE, kRemove, "1", "removed.inf," + dir_ + ",Main");
        EXPECT_EQ(Drain(0), S_OK);
        EXPECT_EQ(Trail(), Strings({"removed", "runonce"}));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kKorvane));
        Reset();
    }
}

}  // namespace
