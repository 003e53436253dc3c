// SetupAPI's section installation on the simulated machine, used as the library uses it: files with
// their destination and source folders, version checks, files in use left for the restart, the
// default callback's dialogs, AddReg/DelReg, UpdateInis and the failures a caller sees.
#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/peimage.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using winsim::OsVersion;

namespace {

const char kHeader[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
constexpr UINT kLibraryStyle = SP_COPY_NEWER | SP_COPY_IN_USE_NEEDS_REBOOT | SP_COPY_NOSKIP | SP_COPY_FORCE_NEWER;

// Forwards to the default callback, as the library's callback does, and notes what it saw.
struct Recorder {
    PVOID defaultContext = SetupInitDefaultQueueCallbackEx(nullptr, nullptr, 0, 0, nullptr);
    std::vector<UINT> seen;
    ~Recorder() { SetupTermDefaultQueueCallback(defaultContext); }
    bool Saw(UINT notification) const {
        for (UINT n : seen)
            if (n == notification) return true;
        return false;
    }
};

UINT CALLBACK Record(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->seen.push_back(notification);
    return SetupDefaultQueueCallbackA(recorder->defaultContext, notification, param1, param2);
}

// Installs `section` of an INF holding `body`, with the source root C:\Setup\.
BOOL Install(const std::string& body, Recorder* recorder, UINT style = kLibraryStyle, const char* section = "Install") {
    EXPECT_TRUE(winsim::WriteWholeFile("C:\\Setup\\test.inf", kHeader + body));
    HINF inf = SetupOpenInfFileA("C:\\Setup\\test.inf", nullptr, INF_STYLE_WIN4, nullptr);
    EXPECT_NE(inf, INVALID_HANDLE_VALUE);
    const BOOL ok = SetupInstallFromInfSectionA(nullptr, inf, section, 0x1F, nullptr, "C:\\Setup\\", style, Record,
                                                recorder, nullptr, nullptr);
    const DWORD error = GetLastError();
    SetupCloseInfFile(inf);
    SetLastError(error);
    return ok;
}

std::string VersionedDll(DWORD major) {
    winsim::VersionResourceFields fields;
    fields.fileVersionMS = major << 16;
    const auto image = winsim::BuildPeImage(winsim::BuildVersionBlock(fields), false);
    return std::string(image.begin(), image.end());
}

std::string Read(const std::string& path) { return winsim::ReadWholeFile(path).value_or("<missing>"); }

TEST(SetupInstall, CopiesToDestinationDirsFromTheDisksFolders) {
    const struct {
        OsVersion version;
        const char* system;
    } kRows[] = {{OsVersion::Win98, "C:\\WINDOWS\\SYSTEM"}, {OsVersion::Win2000, "C:\\WINNT\\System32"}};
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        winsim::WriteWholeFile("C:\\Setup\\disk1\\bin\\kvhost.exe", "host");
        winsim::WriteWholeFile("C:\\Setup\\disk1\\kvsetup.exe", "setup");
        winsim::WriteWholeFile("C:\\Setup\\kvthk32.dll", "thunk");
        Recorder recorder;
        ASSERT_TRUE(
            Install("[Install]\r\nCopyFiles=Files.Program,@kvthk32.dll\r\n"
                    "[Files.Program]\r\nkvhost.exe,,,0x2\r\nrenamed.exe,kvsetup.exe\r\n"
                    "[SourceDisksNames]\r\n1=\"Setup Disk\",,,disk1\r\n"
                    "[SourceDisksFiles]\r\nkvhost.exe=1,bin\r\nkvsetup.exe=1\r\n"
                    "[DestinationDirs]\r\nDefaultDestDir=11\r\nFiles.Program=24,Program Files\\Korvane\r\n",
                    &recorder))
            << GetLastError();
        EXPECT_EQ(Read("C:\\Program Files\\Korvane\\kvhost.exe"), "host");
        EXPECT_EQ(Read("C:\\Program Files\\Korvane\\renamed.exe"), "setup");
        EXPECT_EQ(Read(std::string(row.system) + "\\kvthk32.dll"), "thunk");
        EXPECT_TRUE(machine->Dialogs().MessageBoxes().empty());
        EXPECT_FALSE(recorder.Saw(SPFILENOTIFY_FILEOPDELAYED));
    }
}

TEST(SetupInstall, VersionChecksKeepANewerTarget) {
    const struct {
        UINT style;
        DWORD targetMajor;
        bool replaced;
        size_t boxes;  // "Version Conflict" asked by the default callback
    } kRows[] = {
        {kLibraryStyle, 2, false, 0},                       // FORCE_NEWER keeps it without asking
        {SP_COPY_NEWER, 2, false, 1},                       // NEWER asks; the default answer keeps it
        {kLibraryStyle, 0, true, 0},                        // an older target is replaced
        {SP_COPY_NEWER | SP_COPY_FORCE_NEWER, 1, true, 0},  // the same version: the source counts as newer
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        const std::string target = "C:\\WINNT\\System32\\kv.dll";
        winsim::WriteWholeFile("C:\\Setup\\kv.dll", VersionedDll(1));
        winsim::WriteWholeFile(target, row.targetMajor ? VersionedDll(row.targetMajor) : "no version");
        Recorder recorder;
        ASSERT_TRUE(Install("[Install]\r\nCopyFiles=@kv.dll\r\n", &recorder, row.style));
        EXPECT_EQ(Read(target) == VersionedDll(1), row.replaced) << row.style << " " << row.targetMajor;
        EXPECT_EQ(machine->Dialogs().MessageBoxes().size(), row.boxes);
        EXPECT_EQ(recorder.Saw(SPFILENOTIFY_TARGETNEWER), row.style == SP_COPY_NEWER);
    }
}

TEST(SetupInstall, FilesInUseAreLeftForTheRestart) {
    const struct {
        OsVersion version;
        const char* folder;
        std::vector<std::string> pending;  // as the restart reads them
    } kRows[] = {
        {OsVersion::Win2000,
         "C:\\Program Files\\Korvane",
         {"\"\\??\\C:\\WINNT\\System32\\kvold.dll\" -> \"\"",
          "\"\\??\\C:\\Program Files\\Korvane\\SET1.TMP\" -> \"!\\??\\C:\\Program Files\\Korvane\\kvhost.exe\""}},
        {OsVersion::Win98,
         "C:\\Program Files\\Korvane",
         {"NUL=C:\\WINDOWS\\SYSTEM\\kvold.dll", "C:\\PROGRA~1\\Korvane\\kvhost.exe=C:\\PROGRA~1\\Korvane\\SET1.TMP"}},
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(row.version);
        const std::string host = std::string(row.folder) + "\\kvhost.exe";
        const std::string old = machine->SystemDirectory() + "\\kvold.dll";
        winsim::WriteWholeFile(host, "running");
        winsim::WriteWholeFile(old, "loaded");
        winsim::WriteWholeFile("C:\\Setup\\kvhost.exe", "new");
        winsim::ProgramScript script;
        script.path = host;
        script.run = winsim::ProgramScript::Run::Never;
        machine->Processes().SetProgram(script);
        machine->Processes().Start(script, "");
        HMODULE module = winsim::RegisterModule({old, nullptr, nullptr, 0});
        Recorder recorder;
        ASSERT_TRUE(Install(
            "[Install]\r\nCopyFiles=Program\r\nDelFiles=Old\r\n[Program]\r\nKVHOST.EXE\r\n[Old]\r\nkvold.dll\r\n"
            "[DestinationDirs]\r\nProgram=24,Program Files\\Korvane\r\nOld=11\r\n",
            &recorder));
        winsim::UnregisterModule(module);
        EXPECT_TRUE(recorder.Saw(SPFILENOTIFY_FILEOPDELAYED));
        EXPECT_EQ(Read(host), "running");
        EXPECT_EQ(Read(old), "loaded");
        std::vector<std::string> pending;
        for (const auto& op : winsim::PendingFileOperations(*machine)) pending.push_back(op.text);
        EXPECT_EQ(pending, row.pending);
        winsim::Restart(*machine);
        EXPECT_EQ(Read(host), "new");
        EXPECT_EQ(Read(old), "<missing>");
    }
}

TEST(SetupInstall, AMissingSourceIsAskedForAndCancelled) {
    const struct {
        const char* files;  // the first one is the disk's first file
        int answer;         // the simulated user's; 0: the default button
        const char* caption;
        size_t boxes;
    } kRows[] = {
        {"gone.dll\r\nthere.dll", 0, "Files Needed", 2},  // OK twice finds nothing: Cancel
        {"gone.dll\r\nthere.dll", IDCANCEL, "Files Needed", 1},
        {"there.dll\r\ngone.dll", 0, "Copy Error", 2},  // Retry twice in a row: Cancel
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        machine->Dialogs().SetMessageBoxAnswer(row.answer);
        winsim::WriteWholeFile("C:\\Setup\\there.dll", "x");
        Recorder recorder;
        SetLastError(0);
        EXPECT_FALSE(Install(std::string("[Install]\r\nCopyFiles=List\r\nAddReg=Reg\r\n[List]\r\n") + row.files +
                                 "\r\n[Reg]\r\nHKLM,Software\\Korvane,Done,,yes\r\n",
                             &recorder));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
        const auto& boxes = machine->Dialogs().MessageBoxes();
        ASSERT_EQ(boxes.size(), row.boxes) << row.files;
        EXPECT_EQ(boxes[0].caption, row.caption);
        EXPECT_NE(boxes[0].text.find("gone.dll"), std::string::npos) << boxes[0].text;
        EXPECT_FALSE(machine->Reg().KeyExists("HKLM\\Software\\Korvane"));
        EXPECT_TRUE(recorder.Saw(SPFILENOTIFY_ENDQUEUE));
    }
}

TEST(SetupInstall, AddRegTypesAndFlags) {
    using Bytes = std::vector<BYTE>;
    const struct {
        const char* line;  // in [Reg]; the value Old holds REG_SZ "old" and List holds "a" before it
        const char* name;  // the value looked at under HKLM\Software\K
        DWORD error;
        DWORD type;  // 0: no such value
        Bytes data;
    } kRows[] = {
        {"HKLM,Software\\K,V,,\"text\"", "V", 0, REG_SZ, {'t', 'e', 'x', 't', 0}},
        {"HKLM,Software\\K,V,0x20000,%%SystemRoot%%",
         "V",
         0,
         REG_EXPAND_SZ,
         {'%', 'S', 'y', 's', 't', 'e', 'm', 'R', 'o', 'o', 't', '%', 0}},
        {"HKLM,Software\\K,V,0x10000,a,b", "V", 0, REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"HKLM,Software\\K,V,1,0a,ff", "V", 0, REG_BINARY, {0x0a, 0xff}},
        {"HKLM,Software\\K,V,0x10001,0x12345678", "V", 0, REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"HKLM,Software\\K,V,0x10001,1,0,0,0", "V", 0, REG_DWORD, {1, 0, 0, 0}},
        {"HKLM,Software\\K,V,0x20001,01", "V", 0, REG_NONE, {1}},
        {"HKLM,Software\\K,Old,2,new", "Old", 0, REG_SZ, {'o', 'l', 'd', 0}},                 // NOCLOBBER
        {"HKLM,Software\\K,V,0x20,new", "V", 0, 0, {}},                                       // OVERWRITEONLY
        {"HKLM,Software\\K,List,0x10008,b,a", "List", 0, REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},  // APPEND
        {"HKLM,Software\\K,Old,4", "Old", 0, 0, {}},                                          // DELVAL
        {"HKLM,Software\\K\\Sub,V,0x10", "V", 0, 0, {}},                                      // KEYONLY
        {"HKXX,Software\\K,V,,x", "V", ERROR_BADKEY, 0, {}},
        {"HKR,,V,,x", "V", ERROR_BADKEY, 0, {}},  // no relative root given
        {"HKLM,Software\\K,V,0x10001,zz", "V", ERROR_INVALID_DATA, 0, {}},
    };
    for (const auto& row : kRows) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        auto& reg = machine->Reg();
        reg.SetStringValue("HKLM\\Software\\K", "Old", "old");
        reg.SetValue("HKLM\\Software\\K", "List", REG_MULTI_SZ, {'a', 0, 0});
        Recorder recorder;
        EXPECT_EQ(Install(std::string("[Install]\r\nAddReg=Reg\r\n[Reg]\r\n") + row.line + "\r\n", &recorder),
                  row.error ? FALSE : TRUE)
            << row.line;
        if (row.error) {
            EXPECT_EQ(GetLastError(), row.error) << row.line;
        }
        const auto value = reg.GetValue("HKLM\\Software\\K", row.name);
        EXPECT_EQ(value ? value->type : 0, row.type) << row.line;
        if (value && row.type) {
            EXPECT_EQ(value->data, row.data) << row.line;
        }
    }
}

TEST(SetupInstall, DelRegRemovesKeysValuesAndStrings) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    auto& reg = machine->Reg();
    reg.CreateKey("HKCU\\Software\\Old\\Below");
    reg.SetStringValue("HKLM\\Software\\Run", "Agent", "x");
    reg.SetStringValue("HKLM\\Software\\Run", "Kept", "y");
    reg.SetValue("HKLM\\Software\\Run", "List", REG_MULTI_SZ, {'a', 0, 'b', 0, 0});
    Recorder recorder;
    ASSERT_TRUE(
        Install("[Install]\r\nDelReg=Del\r\n[Del]\r\nHKCU,Software\\Old\r\nHKLM,Software\\Run,Agent\r\n"
                "HKLM,Software\\Run,List,0x18002,a\r\nHKLM,Software\\Missing,X\r\n",
                &recorder));
    EXPECT_FALSE(reg.KeyExists("HKCU\\Software\\Old"));
    EXPECT_FALSE(reg.GetValue("HKLM\\Software\\Run", "Agent"));
    EXPECT_TRUE(reg.GetValue("HKLM\\Software\\Run", "Kept"));
    const auto list = reg.GetValue("HKLM\\Software\\Run", "List");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->data, (std::vector<BYTE>{'b', 0, 0}));
}

TEST(SetupInstall, UpdateInisReplacesAddsAndDeletesEntries) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    winsim::WriteWholeFile("C:\\WINDOWS\\kv.ini", "[boot]\r\na=1\r\nb=2\r\nd=4\r\n\r\n[other]\r\nx=1\r\n");
    Recorder recorder;
    ASSERT_TRUE(
        Install("[Install]\r\nUpdateInis=Inis\r\n[Inis]\r\n"
                "kv.ini,boot,a=anything,a=9\r\n"  // flags 0: the key alone must match
                "kv.ini,boot,d=5,d=6,1\r\n"       // flags 1: key and value must match
                "kv.ini,boot,,c=3\r\n"
                "kv.ini,boot,b=2,\r\n"
                "kv.ini,new,,n=1\r\n",
                &recorder));
    EXPECT_EQ(Read("C:\\WINDOWS\\kv.ini"), "[boot]\r\na=9\r\nd=4\r\nc=3\r\n\r\n[other]\r\nx=1\r\n\r\n[new]\r\nn=1\r\n");
}

TEST(SetupInstall, AMissingSectionFails) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    Recorder recorder;
    EXPECT_FALSE(Install("[Other]\r\n", &recorder, kLibraryStyle, "Install.ntx86"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SECTION_NOT_FOUND));
    EXPECT_TRUE(recorder.seen.empty());
}

}  // namespace
