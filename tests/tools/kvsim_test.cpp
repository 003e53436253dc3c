// kvsim as a user runs it: machine folders made, changed by calls, shown; the changes it prints;
// its errors and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Kvsim : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvsim-test-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs kvsim with `args` (no shell: each argument passed as it is).
    Outcome Run(const std::vector<std::string>& args) {
        const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
        const pid_t child = fork();
        if (child == 0) {
            std::freopen(out.c_str(), "w", stdout);
            std::freopen(err.c_str(), "w", stderr);
            std::vector<char*> argv = {const_cast<char*>(KVSIM_EXE)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KVSIM_EXE, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
    }

    std::string Machine(const char* version) {
        const std::string folder = (dir_ / (std::string("m") + version)).string();
        EXPECT_EQ(0, Run({"create", folder, version}).status);
        EXPECT_EQ(0, Run({"put", folder, std::string(KVSIM_EXAMPLES) + "/quillex.inf"}).status);
        return folder;
    }

    fs::path dir_;
};

const char kInf[] = "C:\\Setup\\quillex.inf";

}  // namespace

TEST_F(Kvsim, InstallingServicesShowsTheirKeysAndWhatHappened) {
    const std::string m = Machine("2000");
    const Outcome install = Run({"call", m, "SetupInstallDrivers", kInf});
    EXPECT_EQ(0, install.status) << install.err;
    EXPECT_NE(std::string::npos, install.out.find("result: 0x00000000 (S_OK)")) << install.out;
    EXPECT_NE(std::string::npos,
              install.out.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvusb]\n"
                               "\"Type\"=dword:00000001\n\"Start\"=dword:00000003\n"))
        << install.out;
    const auto created = install.out.find("kvusb                created");
    const auto started = install.out.find("KVService            started");
    EXPECT_NE(std::string::npos, created) << install.out;
    EXPECT_NE(std::string::npos, started) << install.out;
    EXPECT_LT(created, started);

    // The machine folder kept it: removal stops and deletes, and the keys go.
    const Outcome remove = Run({"call", m, "?InstallDrivers@@YAJPAXHPBD@Z", kInf, "0", "null"});
    EXPECT_EQ(0, remove.status) << remove.err;
    EXPECT_NE(std::string::npos, remove.out.find("[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvusb]"))
        << remove.out;
    EXPECT_NE(std::string::npos, remove.out.find("KVService            deleted")) << remove.out;
    EXPECT_NE(std::string::npos, Run({"show", m}).out.find("(none)"));
}

TEST_F(Kvsim, Windows98IsLeftAlone) {
    const std::string m = Machine("98");
    const Outcome install = Run({"call", m, "SetupInstallDrivers", kInf});
    EXPECT_EQ(0, install.status) << install.err;
    EXPECT_NE(std::string::npos, install.out.find("Registry changes:\n  (none)")) << install.out;
    EXPECT_NE(std::string::npos, install.out.find("Service changes:\n  (none)")) << install.out;
}

TEST_F(Kvsim, AScriptedSlowStopCostsSimulatedTimeOnly) {
    const std::string m = Machine("NT4");
    ASSERT_EQ(0, Run({"call", m, "SetupInstallDrivers", kInf}).status);
    std::string services = Slurp(fs::path(m) / "services.txt");
    const auto at = services.find("OnStop=at-once", services.find("[service KVService]"));
    ASSERT_NE(std::string::npos, at);
    services.replace(at, 14, "OnStop=never");
    std::ofstream(fs::path(m) / "services.txt", std::ios::binary | std::ios::trunc) << services;

    const Outcome stop = Run({"call", m, "ControlService", kInf, "KVService_Service", "SVC_STOP"});
    EXPECT_EQ(0, stop.status) << stop.err;
    EXPECT_NE(std::string::npos, stop.out.find("simulated time spent: 10.0 s")) << stop.out;
    EXPECT_NE(std::string::npos, Run({"show", m}).out.find("KVService            stopping"));
}

TEST_F(Kvsim, AFailedResultIsExitStatusOne) {
    const std::string m = Machine("2000");
    const Outcome missing = Run({"call", m, "SetupStopServices", "C:\\Setup\\none.inf"});
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.out.find("result: 0x80070057 (E_INVALIDARG)")) << missing.out;
    const Outcome start = Run({"call", m, "ControlService", kInf, "kvusb_Service", "0"});
    EXPECT_EQ(1, start.status);
    EXPECT_NE(std::string::npos, start.out.find("(E_FAIL)")) << start.out;
}

TEST_F(Kvsim, ErrorsHaveTheirOwnExitStatus) {
    const std::string m = Machine("2000");
    const std::string before = Slurp(fs::path(m) / "registry.reg");
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Row rows[] = {
        {{}, 2, "usage"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"create", (dir_ / "x").string(), "3.11"}, 2, "not a version"},
        {{"create", m, "2000"}, 3, "already exists"},
        {{"call", m, "NoSuchExport"}, 4, "no export 'NoSuchExport'"},
        {{"call", m, "SetupInstallDrivers"}, 2, "takes 1 argument"},
        {{"call", m, "InstallDrivers", kInf, "one", "null"}, 2, "not an integer"},
        {{"call", m, "ControlService", kInf, "kvusb_Service", "SVC_PAUSE"}, 2, "SVC_START"},
        {{"call", (dir_ / "nowhere").string(), "NeedReboot"}, 3, "not a kvsim machine folder"},
        {{"call", m, "StopServices", "C:\\Setup\\none.inf", "1", "null"}, 3, "cannot open the INF"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Outcome o = Run(rows[i].args);
        EXPECT_EQ(rows[i].status, o.status) << "row " << i << ": " << o.err;
        EXPECT_NE(std::string::npos, o.err.find(rows[i].message)) << "row " << i << ": " << o.err;
    }
    // Nothing above changed the machine, and no working copy was left beside it.
    EXPECT_EQ(before, Slurp(fs::path(m) / "registry.reg"));
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir_)) entries += e.path().filename().string()[0] == '.';
    EXPECT_EQ(0u, entries);
}

TEST_F(Kvsim, ADamagedMachineFolderIsRefused) {
    const std::string m = Machine("2000");
    std::ofstream(fs::path(m) / "services.txt", std::ios::binary | std::ios::trunc) << "[service A]\nState=dancing\n";
    const Outcome o = Run({"show", m});
    EXPECT_EQ(3, o.status);
    EXPECT_NE(std::string::npos, o.err.find("services.txt is damaged: line 2")) << o.err;
    std::ofstream(fs::path(m) / "machine.txt", std::ios::binary | std::ios::trunc) << "kvsim machine\nversion=3.1\n";
    EXPECT_EQ(3, Run({"show", m}).status);
}

TEST_F(Kvsim, HelpListsCommandsAndExports) {
    const Outcome help = Run({"--help"});
    EXPECT_EQ(0, help.status);
    for (const char* text : {"create MACHINE VERSION", "call MACHINE EXPORT", "SetupUnInstallDrivers", "exit status"})
        EXPECT_NE(std::string::npos, help.out.find(text)) << text;
}

TEST_F(Kvsim, ShortcutsMadeAndRemovedAreListedWithWhatTheyPointTo) {
    const std::string m = Machine("2000");
    const Outcome add = Run({"call", m, "InstallShortcuts", kInf, "1", "null"});
    EXPECT_EQ(0, add.status) << add.err;
    const std::string folder = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Quillex Pro\\";
    EXPECT_NE(std::string::npos, add.out.find("created  " + folder + "\n")) << add.out;
    EXPECT_NE(std::string::npos,
              add.out.find("created  " + folder + "Quillex Pro Settings.lnk\n"
                           "           -> C:\\Program Files\\Korvane\\Quillex Pro\\kvhost.exe /settings"))
        << add.out;
    EXPECT_NE(std::string::npos, Run({"show", m}).out.find(folder + "Enroll Fingerprints.lnk"));

    const Outcome remove = Run({"call", m, "?AddRemoveShortcut@@YAJPAXPBD1H@Z", kInf, "Quillex Pro", "null", "0"});
    EXPECT_EQ(0, remove.status) << remove.err;
    EXPECT_NE(std::string::npos, remove.out.find("result: 0x00000000 (S_OK)")) << remove.out;
    EXPECT_NE(std::string::npos, remove.out.find("deleted  " + folder + "Enroll Fingerprints.lnk\n")) << remove.out;
    EXPECT_NE(std::string::npos, remove.out.find("deleted  " + folder + "\n")) << remove.out;
    EXPECT_NE(std::string::npos, Run({"show", m}).out.find("Shortcuts:\n  (none)"));
}

TEST_F(Kvsim, DevicesOfTheMachineFolderAreRemovedAndFound) {
    const std::string m = Machine("98");
    ASSERT_EQ(0, Run({"device", m, "USB\\VID_2C8F&PID_0001\\5&1", "USB\\VID_2C8F&PID_0001&REV_0100,USB\\VID_2C8F&PID_0001"})
                     .status);
    ASSERT_EQ(0, Run({"device", m, "USB\\VID_2C8F&PID_0001\\5&2", "USB\\VID_2C8F&PID_0001", "plugged"}).status);
    // devices.txt is the machine's device tree, to be edited by hand as well.
    std::ofstream(fs::path(m) / "devices.txt", std::ios::app)
        << "[HID\\VID_046D&PID_C016\\7&1]\nHardwareIDs=HID\\VID_046D&PID_C016\nClass=HIDClass\nPresent=1\n";
    EXPECT_NE(std::string::npos, Run({"show", m}).out.find("HID\\VID_046D&PID_C016\\7&1  HIDClass"));

    const Outcome remove = Run({"call", m, "RemoveDevices"});
    EXPECT_EQ(0, remove.status) << remove.err;
    EXPECT_NE(std::string::npos, remove.out.find("result: 1 ")) << remove.out;
    EXPECT_NE(std::string::npos, remove.out.find("Device changes:\n  removed  USB\\VID_2C8F&PID_0001\\5&1\n")) << remove.out;
    // Windows 98 keeps the node's record in the registry; removal takes it.
    EXPECT_NE(std::string::npos, remove.out.find("[-HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_2C8F&PID_0001\\5&1]")) << remove.out;

    const Outcome found = Run({"call", m, "ReEnumerateDevices"});
    EXPECT_EQ(0, found.status) << found.err;
    EXPECT_NE(std::string::npos, found.out.find("result: none")) << found.out;
    EXPECT_NE(std::string::npos, found.out.find("re-enumerated from its root (waited for the end)\n"
                                                "  found    USB\\VID_2C8F&PID_0001\\5&2\n"))
        << found.out;

    std::ofstream(fs::path(m) / "devices.txt", std::ios::app) << "Colour=blue\n";
    const Outcome damaged = Run({"show", m});
    EXPECT_EQ(3, damaged.status);
    EXPECT_NE(std::string::npos, damaged.err.find("devices.txt is damaged")) << damaged.err;
}

TEST_F(Kvsim, Windows95SupportLibraryIsCalledWhereTheProductPathSays) {
    const std::string m = Machine("95");
    const fs::path dll = dir_ / "kvthk32.dll";
    std::ofstream(dll) << "MZ";
    ASSERT_EQ(0, Run({"put", m, dll.string(), "C:\\Program Files\\Korvane\\kvthk32.dll"}).status);
    std::ofstream(fs::path(m) / "registry.reg", std::ios::app)
        << "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro]\r\n"
           "\"ProductPath\"=\"C:\\\\Program Files\\\\Korvane\"\r\n";
    const Outcome call = Run({"call", m, "ReEnumerateDevices"});
    EXPECT_EQ(0, call.status) << call.err;
    EXPECT_NE(std::string::npos, call.out.find("kvthk32.dll BuildDriverDataBase(1) called")) << call.out;
    EXPECT_EQ(std::string::npos, call.out.find("re-enumerated")) << "Windows 95 has no cfgmgr32.dll";
}
