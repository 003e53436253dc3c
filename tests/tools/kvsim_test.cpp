// kvsim as a user runs it: machine folders made, changed by calls, shown; the changes it prints;
// its errors and exit codes.
#include "program_testing.h"

#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using programtest::Outcome;
using programtest::Slurp;

class Kvsim : public programtest::ProgramTest {
protected:
    Outcome Run(const std::vector<std::string>& args) { return RunProgram(KVSIM_EXE, args); }

    std::string Machine(const char* version) {
        const std::string folder = (dir_ / (std::string("m") + version)).string();
        EXPECT_EQ(0, Run({"create", folder, version}).status);
        EXPECT_EQ(0, Run({"put", folder, std::string(KVSIM_EXAMPLES) + "/product/quillex.inf"}).status);
        return folder;
    }

    // The product INF's driver and service programs, where its services look for them (NT 4, 2000).
    void PutServiceFiles(const std::string& m) {
        EXPECT_EQ(0, Run({"put", m, Write("kvusb.sys", "MZ"), "C:\\WINNT\\System32\\drivers\\kvusb.sys"}).status);
        EXPECT_EQ(0, Run({"put", m, Write("kvsvc.exe", "MZ"), "C:\\WINNT\\System32\\kvsvc.exe"}).status);
    }

    // Runs kvsim, expecting the exit status and each text in its standard output.
    Outcome Expect(const std::vector<std::string>& args, int status, std::initializer_list<std::string> texts) {
        const Outcome o = Run(args);
        EXPECT_EQ(status, o.status) << args[0] << " " << args.back() << ": " << o.err;
        for (const auto& text : texts) EXPECT_NE(std::string::npos, o.out.find(text)) << text << "\nin:\n" << o.out;
        return o;
    }
};

const char kInf[] = "C:\\Setup\\quillex.inf";

}  // namespace

TEST_F(Kvsim, InstallingServicesShowsTheirKeysAndWhatHappened) {
    const std::string m = Machine("2000");
    PutServiceFiles(m);
    const Outcome install = Expect({"call", m, "SetupInstallDrivers", kInf}, 0,
                                   {"result: 0x00000000 (S_OK)",
                                    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvusb]\n"
                                    "\"Type\"=dword:00000001\n\"Start\"=dword:00000003\n"});
    const auto created = install.out.find("kvusb                created");
    EXPECT_NE(std::string::npos, created);
    EXPECT_LT(created, install.out.find("KVService            started"));
    // The machine folder kept it: removal stops and deletes, and the keys go.
    Expect({"call", m, "?InstallDrivers@@YAJPAXHPBD@Z", kInf, "0", "null"}, 0,
           {"[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvusb]", "KVService            deleted"});
    Expect({"show", m}, 0, {"(none)"});
}

TEST_F(Kvsim, FailuresAndErrorsHaveTheirOwnExitStatus) {
    const std::string m = Machine("2000");
    const std::string before = Slurp(fs::path(m) / "registry.reg");
    const std::string badServices = Machine("NT4"), badVersion = Machine("98");
    const std::string badReg = Write("bad.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"x\"=dword:zz\n");
    std::ofstream(fs::path(badServices) / "services.txt", std::ios::binary | std::ios::trunc)
        << "[service A]\nState=dancing\n";
    std::ofstream(fs::path(badVersion) / "machine.txt", std::ios::binary | std::ios::trunc)
        << "kvsim machine\nversion=3.1\n";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;  // in the standard output or error
    } rows[] = {
        {{"--help"}, 0, "call MACHINE [--answer BUTTON] EXPORT"},
        {{"--help"}, 0, "SetupUnInstallDrivers"},  // the exports are listed too
        {{"call", m, "SetupStopServices", "C:\\Setup\\none.inf"}, 1, "result: 0x80070057 (E_INVALIDARG)"},
        {{"call", m, "ControlService", kInf, "kvusb_Service", "0"}, 1, "(E_FAIL)"},
        {{}, 2, "usage"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"create", (dir_ / "x").string(), "3.11"}, 2, "not a version"},
        {{"create", m, "2000"}, 3, "already exists"},
        {{"create", (dir_ / "x").string(), "2000", "--language", "1024"}, 2, "not a value of --language"},
        {{"create", (dir_ / "x").string(), "2000", "--role", "mainframe"}, 2, "not a value of --role"},
        {{"create", (dir_ / "x").string(), "2000", "--account", "root"}, 2, "not a value of --account"},
        {{"create", (dir_ / "x").string(), "98", "--service-pack", "2"}, 2, "Windows 95 and 98 have none"},
        {{"create", (dir_ / "x").string(), "NT4", "--service-pack", "six"}, 2, "not a service pack"},
        {{"security", m, "HKEY_LOCAL_MACHINE\\SOFTWARE", "O:SYD:(A;;KA;;;NOBODY)"}, 2, "not SDDL"},
        {{"security", m, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing"}, 3, "no key"},
        {{"call", m, "--answer", "maybe", "NeedReboot"}, 2, "not a button"},
        {{"start", m, kInf}, 3, "not a program of this machine"},
        {{"call", m, "NoSuchExport"}, 4, "no export 'NoSuchExport'"},
        {{"call", m, "SetupInstallDrivers"}, 2, "takes 1 argument"},
        {{"call", m, "InstallDrivers", kInf, "one", "null"}, 2, "not an integer"},
        {{"call", m, "ControlService", kInf, "kvusb_Service", "SVC_PAUSE"}, 2, "SVC_START"},
        {{"call", (dir_ / "nowhere").string(), "NeedReboot"}, 3, "not a kvsim machine folder"},
        {{"call", m, "StopServices", "C:\\Setup\\none.inf", "1", "null"}, 3, "cannot open the INF"},
        {{"show", badServices}, 3, "services.txt is damaged: line 2"},
        {{"show", badVersion}, 3, "no known Windows version ('3.1')"},
        {{"import", m, badReg}, 3, "bad.reg, line 4"},  // and the lines before it are not kept
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Outcome o = Run(rows[i].args);
        EXPECT_EQ(rows[i].status, o.status) << "row " << i << ": " << o.err;
        EXPECT_NE(std::string::npos, (o.out + o.err).find(rows[i].message)) << "row " << i << ": " << o.out << o.err;
    }
    // Nothing above changed the machine, and no working copy was left beside it.
    EXPECT_EQ(before, Slurp(fs::path(m) / "registry.reg"));
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir_)) entries += e.path().filename().string()[0] == '.';
    EXPECT_EQ(0u, entries);
}

TEST_F(Kvsim, ShortcutsMadeAndRemovedAreListedWithWhatTheyPointTo) {
    const std::string m = Machine("2000");
    const std::string folder = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quillex Pro\\";
    Expect({"call", m, "InstallShortcuts", kInf, "1", "null"}, 0,
           {"created  " + folder + "\n", "created  " + folder + "Quillex Pro Settings.lnk\n"
                                         "           -> C:\\Program Files\\Korvane\\Quillex Pro\\kvhost.exe /settings"});
    Expect({"show", m}, 0, {folder + "Enroll Fingerprints.lnk"});
    Expect({"call", m, "?AddRemoveShortcut@@YAJPAXPBD1H@Z", kInf, "Quillex Pro", "null", "0"}, 0,
           {"result: 0x00000000 (S_OK)", "deleted  " + folder + "Enroll Fingerprints.lnk\n", "deleted  " + folder + "\n"});
    Expect({"show", m}, 0, {"Shortcuts:\n  (none)"});
    // Removing them again leaves the shell alone: a missing link would have cost an error box that
    // nobody is there to dismiss after a restart.
    Expect({"call", m, "?AddRemoveShortcut@@YAJPAXPBD1H@Z", kInf, "Quillex Pro", "null", "0"}, 0,
           {"Message boxes:\n  (none)"});
}

TEST_F(Kvsim, DevicesOfTheMachineFolderAreRemovedAndFound) {
    const std::string m = Machine("98");
    Expect({"device", m, "USB\\VID_2C8F&PID_0001\\5&1", "USB\\VID_2C8F&PID_0001&REV_0100,USB\\VID_2C8F&PID_0001"}, 0, {});
    Expect({"device", m, "USB\\VID_2C8F&PID_0001\\5&2", "USB\\VID_2C8F&PID_0001", "plugged"}, 0, {});
    // devices.txt is the machine's device tree, to be edited by hand as well.
    std::ofstream(fs::path(m) / "devices.txt", std::ios::app)
        << "[HID\\VID_046D&PID_C016\\7&1]\nHardwareIDs=HID\\VID_046D&PID_C016\nClass=HIDClass\nPresent=1\n";
    Expect({"show", m}, 0, {"HID\\VID_046D&PID_C016\\7&1  HIDClass"});
    // Windows 98 keeps the node's record in the registry; removal takes it.
    Expect({"call", m, "RemoveDevices"}, 0,
           {"result: 1 ", "Device changes:\n  removed  USB\\VID_2C8F&PID_0001\\5&1\n",
            "[-HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_2C8F&PID_0001\\5&1]"});
    Expect({"call", m, "ReEnumerateDevices"}, 0,
           {"result: none", "re-enumerated from its root (waited for the end)\n  found    USB\\VID_2C8F&PID_0001\\5&2\n"});
    std::ofstream(fs::path(m) / "devices.txt", std::ios::app) << "Colour=blue\n";
    EXPECT_NE(std::string::npos, Expect({"show", m}, 3, {}).err.find("devices.txt is damaged: line "));
}

TEST_F(Kvsim, Windows95SupportLibraryIsCalledWhereTheProductPathSays) {
    const std::string m = Machine("95");
    const fs::path dll = dir_ / "kvthk32.dll";
    std::ofstream(dll) << "MZ";
    ASSERT_EQ(0, Run({"put", m, dll.string(), "C:\\Program Files\\Korvane\\kvthk32.dll"}).status);
    std::ofstream(fs::path(m) / "registry.reg", std::ios::app)
        << "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro]\r\n"
           "\"ProductPath\"=\"C:\\\\Program Files\\\\Korvane\"\r\n";
    const Outcome call = Expect({"call", m, "ReEnumerateDevices"}, 0, {"kvthk32.dll BuildDriverDataBase(1) called"});
    EXPECT_EQ(std::string::npos, call.out.find("re-enumerated")) << "Windows 95 has no cfgmgr32.dll";
}

TEST_F(Kvsim, PendingFileOperationsAreListedAndTheRebootCarriesThemOut) {
    // Windows 2000: a delete and a rename over an existing file, given as a .reg file.
    const std::string nt = Machine("2000");
    Expect({"put", nt, Write("old.dll", "old"), "C:\\Setup\\old.dll"}, 0, {});
    Expect({"put", nt, Write("new.dll", "new"), "C:\\Setup\\new.dll"}, 0, {});
    const std::string reg = Write(
        "pending.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager]\r\n"
        "\"PendingFileRenameOperations\"=hex(7):5c,00,3f,00,3f,00,5c,00,43,00,3a,00,5c,00,53,00,65,00,74,00,75,00,"
        "70,00,5c,00,71,00,75,00,69,00,6c,00,6c,00,65,00,78,00,2e,00,69,00,6e,00,66,00,00,00,00,00,"
        "5c,00,3f,00,3f,00,5c,00,43,00,3a,00,5c,00,53,00,65,00,74,00,75,00,70,00,5c,00,6e,00,65,00,77,00,2e,00,"
        "64,00,6c,00,6c,00,00,00,21,00,5c,00,3f,00,3f,00,5c,00,43,00,3a,00,5c,00,53,00,65,00,74,00,75,00,70,00,"
        "5c,00,6f,00,6c,00,64,00,2e,00,64,00,6c,00,6c,00,00,00,00,00\r\n");
    Expect({"import", nt, reg}, 0, {"\"PendingFileRenameOperations\"=hex(7):"});
    Expect({"show", nt}, 0,
           {"Pending file operations:\n  C:\\Setup\\quillex.inf -> DELETE\n"
            "  C:\\Setup\\new.dll -> C:\\Setup\\old.dll   (replacing)\n"});
    Expect({"reboot", nt}, 0,
           {"session manager: deleted C:\\Setup\\quillex.inf\n", "\"PendingFileRenameOperations\"=-",
            "deleted  C:\\Setup\\new.dll\n", "deleted  C:\\Setup\\quillex.inf\n"});
    EXPECT_EQ("new", Slurp(fs::path(nt) / "drives/C/Setup/old.dll"));
    Expect({"show", nt}, 0, {"Pending file operations:\n  (none)"});

    // Windows 98: WININIT.INI's [rename] lines as they are, then WININIT.BAK.
    const std::string w98 = Machine("98");
    Expect({"put", w98, Write("wininit.ini", "[Rename]\r\nNUL=C:\\SETUP\\QUILLEX.INF\r\nNUL=C:\\Long Name.dll\r\n"),
            "C:\\WINDOWS\\WININIT.INI"},
           0, {});
    Expect({"show", w98}, 0,
           {"Pending file operations:\n  NUL=C:\\SETUP\\QUILLEX.INF\n  NUL=C:\\Long Name.dll   (skipped at boot: "});
    Expect({"reboot", w98}, 0,
           {"wininit: deleted C:\\SETUP\\QUILLEX.INF\n", "renamed WININIT.INI to WININIT.BAK",
            "deleted  C:\\Setup\\quillex.inf\n", "created  C:\\WINDOWS\\WININIT.BAK"});
    Expect({"show", w98}, 0, {"Pending file operations:\n  (none)"});
}

// The language given at creation is the user's, kept in machine.txt: the library's warning comes in
// German, and the answer given to call is the one the box gets.
TEST_F(Kvsim, UsersLanguageAndAnswerReachTheLibrarysWarning) {
    const std::string m = (dir_ / "nt4").string();
    Expect({"create", m, "NT4", "--language", "de"}, 0, {"German (0x0407)"});
    EXPECT_NE(std::string::npos, Slurp(fs::path(m) / "machine.txt").find("\nlanguage=0x0407\n"));
    Expect({"import", m, std::string(KVSIM_EXAMPLES) + "/host-and-agent/otherga.reg"}, 0, {});
    Expect({"call", m, "--answer", "cancel", "UnregSystemStuff"}, 0,
           {"caption: \"Warnung:\"", "\n           GinaDll-Wert ist C:\\WINNT\\System32\\otherga.dll\n",
            "answer:  Cancel (--answer)", "result: 1 "});
    // A folder made before the language was kept is an English one.
    std::ofstream(fs::path(m) / "machine.txt", std::ios::binary | std::ios::trunc) << "kvsim machine\nversion=NT4\n";
    Expect({"show", m}, 0, {"user language English (0x0409)"});
}

// A host started by the user keeps its two threads between runs; StopHost's WM_QUIT reaches each of
// them and the host ends by itself.
TEST_F(Kvsim, StartedHostRunsOnUntilStopHostEndsIt) {
    const std::string m = Machine("2000");
    const std::string host = "C:\\Program Files\\Korvane\\Quillex Pro\\KVHOST.exe";
    std::ofstream(fs::path(m) / "programs.txt", std::ios::app)
        << Slurp(std::string(KVSIM_EXAMPLES) + "/host-and-agent/programs.txt");
    Expect({"put", m, Write("kvhost.exe", "MZ"), host}, 0, {});
    Expect({"start", m, host}, 0, {"process 1000  " + host + "\n", "thread 1004 (main): message queue\n"});
    const Outcome stop = Expect({"call", m, "StopHost", "null"}, 0,
                                {"WM_QUIT posted to thread 1004 of process 1000\n"
                                 "  WM_QUIT posted to thread 1008 of process 1000\n"
                                 "  process 1000 ended by itself, exit code 0\n"});
    EXPECT_EQ(std::string::npos, stop.out.find("terminated"));
}

// programs.txt keeps the processes running on the machine; one whose time comes during a call ends
// in it and removes what it removes, one that never ends is still running afterwards. The call is a
// stop scripted to hang: it costs simulated time only, and the service is left stopping.
TEST_F(Kvsim, RunningProgramsAreShownAndEndWhenTheCallsTimeReachesThem) {
    const std::string m = Machine("NT4");
    PutServiceFiles(m);
    ASSERT_EQ(0, Run({"call", m, "SetupInstallDrivers", kInf}).status);
    std::string services = Slurp(fs::path(m) / "services.txt");
    const auto at = services.find("OnStop=at-once", services.find("[service KVService]"));
    ASSERT_NE(std::string::npos, at);
    services.replace(at, 14, "OnStop=never");
    std::ofstream(fs::path(m) / "services.txt", std::ios::binary | std::ios::trunc) << services;
    const std::string header = Slurp(fs::path(m) / "machine.txt");
    const unsigned long long clock = std::stoull(header.substr(header.find("clock_ms=") + 9));
    const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{6B3C1A52-0F4B-4B8A-9C55-2C8F00010001}";
    std::ofstream(fs::path(m) / "registry.reg", std::ios::app) << "\r\n[" << kKey << "]\r\n";
    std::ofstream(fs::path(m) / "programs.txt", std::ios::app)
        << "[process 1200]\nProgram=C:\\Program Files\\Korvane\\kvsrv.exe\nCommandLine=/UnRegServer\nStarted="
        << clock << "\nEnds=" << clock + 5000 << "\nRemoves=" << kKey
        << "\n[process 1208]\nProgram=C:\\WINNT\\System32\\regtlib.exe\nCommandLine=/u C:\\x.tlb\nEnds=never\n";
    Expect({"show", m}, 0,
           {"process 1200  C:\\Program Files\\Korvane\\kvsrv.exe\n           command line: /UnRegServer\n",
            "process 1208 "});

    const Outcome call = Expect({"call", m, "ControlService", kInf, "KVService_Service", "SVC_STOP"}, 0,
                                {std::string("[-") + kKey + "]", "Programs and DLLs:\n  process 1200 ended by itself",
                                 "simulated time spent: 10.0 s"});
    EXPECT_EQ(std::string::npos, call.out.find("1208")) << "neither started nor ended by the call";
    const Outcome shown = Expect({"show", m}, 0, {"process 1208 ", "KVService            stopping"});
    EXPECT_EQ(std::string::npos, shown.out.find("process 1200"));

    std::ofstream(fs::path(m) / "programs.txt", std::ios::app) << "Colour=blue\n";
    EXPECT_NE(std::string::npos, Expect({"show", m}, 3, {}).err.find("programs.txt is damaged: line "));
}

TEST_F(Kvsim, MachineSettingsAndKeySecurityAreKeptAndReachTheSystemQueries) {
    const std::string dc = (dir_ / "dc").string(), key = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    const std::string sddl = "O:SYG:BAD:(A;;KA;;;SY)(A;;KA;;;BA)(A;;0x30019;;;WD)";
    Expect({"create", dc, "NT4", "--role", "backup-dc", "--account", "user", "--service-pack", "3", "--ie"}, 0, {});
    Expect({"security", dc, key, sddl}, 0, {" -> " + sddl});
    // A call saves the machine again: everything is read back from the folder each time.
    Expect({"call", dc, "IsDomainController"}, 0, {"result: 1 "});
    Expect({"show", dc}, 0,
           {"Windows NT 4 Service Pack 3", "a user without administrator rights", "SHLWAPI.DLL) installed",
            "backup domain controller", key + ": " + sddl});
    Expect({"call", dc, "GetServicePackNumber"}, 0, {"result: 3 "});
}

// set puts one value as a setup program would; each type's data is stored as the registry keeps it.
TEST_F(Kvsim, SetPutsOneValueOfEachTypeAndRefusesWhatItCannotStore) {
    const std::string m = Machine("2000"), key = "HKLM\\Software\\Korvane\\Install\\Add";
    const struct {
        std::vector<std::string> args;  // after MACHINE KEY
        int status;
        const char* text;  // in the standard output or error
    } rows[] = {
        {{"req1", "REG_SZ", "quillex.inf,C:\\Setup,DefaultInstall"}, 0, "\"req1\"=\"quillex.inf,C:\\\\Setup,DefaultInstall\""},
        {{"REG_SZ", "default"}, 0, "@=\"default\""},  // no name: the key's default value
        {{"e", "REG_EXPAND_SZ", "%X%"}, 0, "\"e\"=hex(2):25,00,58,00,25,00,00,00"},
        {{"d", "REG_DWORD", "0x10"}, 0, "\"d\"=dword:00000010"},
        {{"b", "REG_BINARY", "01,ff"}, 0, "\"b\"=hex:01,ff"},
        {{"m", "REG_MULTI_SZ", "a", "b"}, 0, "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00"},
        {{"q", "REG_QWORD", "1"}, 2, "give a machine folder"},
        {{"d", "REG_DWORD", "-1"}, 2, "not a 32-bit number"},
        {{"b", "REG_BINARY", "0g"}, 2, "not hex bytes"},
        {{"s", "REG_SZ", "a", "b"}, 2, "one DATA argument"},
        {{"s", "REG_SZ"}, 2, "give a machine folder"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"set", m, key};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Outcome o = Run(args);
        EXPECT_EQ(row.status, o.status) << row.text << ": " << o.err;
        EXPECT_NE(std::string::npos, (o.out + o.err).find(row.text)) << o.out << o.err;
    }
    Expect({"set", m, "HKEY_NOWHERE\\X", "REG_SZ", "x"}, 2, {});
    // Kept in the machine folder: the queue holds the request.
    EXPECT_NE(std::string::npos, Slurp(fs::path(m) / "registry.reg").find("\"req1\"=\"quillex.inf,C:\\\\Setup"));
}

// rundll32 looks an entry up as rundll32 does and runs it as rundll32.exe: a queued INF named without
// its folder is looked for beside rundll32.exe, not beside the setup program (C:\Setup).
TEST_F(Kvsim, Rundll32FindsTheEntryAsRundll32DoesAndRunsAsRundll32) {
    const std::string m = Machine("2000"), w98 = Machine("98");
    const std::string decorated = "KVISINST.DLL,?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z";
    Expect({"set", m, "HKLM\\Software\\Korvane\\Install\\Add", "q", "REG_SZ", "quillex.inf"}, 0, {});
    Expect({"rundll32", m, decorated}, 0,
           {"@@PAGH@ZW (not exported), ?VoidInstallUninstall", "@@PAGH@Z (found)", "\"q\"=\"Error: 80070057\"",
            "reboot flag: NeedReboot() says 0"});
    Expect({"rundll32", w98, decorated}, 0, {"rundll32 looks up: ?VoidInstallUninstall@@"});  // no W or A on 98
    const struct {
        std::vector<std::string> args;
        int status;
        const char* text;
    } rows[] = {
        {{"rundll32", w98, "kvisinst,VoidInstallUninstall"}, 0, "resolved to its exported name ?VoidInstallUninstall@@YG"},
        {{"rundll32", m, "KVISINST.DLL,NoSuchEntry"}, 4, "Missing entry: NoSuchEntry"},
        {{"rundll32", m, "KVISINST.DLL,?NeedReboot@@YAHXZ"}, 2, "not a rundll32 entry point"},
        {{"rundll32", m, "SHELL32.DLL,Control_RunDLL"}, 2, "KVISINST.DLL's entry points only"},
        {{"rundll32", m, "KVISINST.DLL VoidInstallUninstall"}, 2, "DLL,ENTRY"},
    };
    for (const auto& row : rows) {
        const Outcome o = Run(row.args);
        EXPECT_EQ(row.status, o.status) << row.args.back() << ": " << o.err;
        EXPECT_NE(std::string::npos, (o.out + o.err).find(row.text)) << o.out << o.err;
    }
}

// InstallFromINF's arguments reach it in its own order: INF, install flag, source folder, section,
// pre-section, post-section.
TEST_F(Kvsim, InstallFromInfTakesItsArgumentsInItsOwnOrder) {
    const std::string m = Machine("NT4");
    PutServiceFiles(m);
    Expect({"call", m, "InstallFromINF", "quillex.inf", "1", "C:\\Nowhere", "null", "null", "null"}, 1,
           {"(E_INVALIDARG)"});
    // A post-section that fails: E_UNEXPECTED, the services still made; a missing main section is ignored.
    const Outcome post = Expect({"call", m, "InstallFromINF", "quillex.inf", "1", "C:\\Setup", "NoSection", "null", "NoPost"},
                                1, {"(E_UNEXPECTED)", "KVService            started"});
    EXPECT_EQ(std::string::npos, post.out.find("QuillexPro")) << "DefaultInstall is not used when a section is named";
    Expect({"call", m, "InstallFromINF", "quillex.inf", "one", "C:\\Setup", "null", "null", "null"}, 2,
           {});
    Expect({"call", m, "InstallFromINF", "quillex.inf", "1"}, 2, {});
}
