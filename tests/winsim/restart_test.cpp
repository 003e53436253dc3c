// The restart: the pending file operations of each family carried out in order, with the cases that
// leave a file alone; the services that come back; the clock that never goes back.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/services.h>
#include <winsim/win32api.h>

#include "inf/inf_testing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using inftest::Service;
using winsim::OsVersion;

namespace {

const char kSessionManager[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Files named "C:\..." hold their own name, so that a rename shows where a file came from; a name
// ending in '\' is a folder.
void Put(const std::string& path) {
    if (path.back() == '\\') {
        std::filesystem::create_directories(*winsim::HostPath(path));
    } else {
        ASSERT_TRUE(winsim::WriteWholeFile(path, path));
    }
}

// "C:\X=C:\Y": C:\X exists and holds what C:\Y held; "C:\X=": C:\X does not exist.
void ExpectFiles(const std::vector<std::string>& expected, const std::string& row) {
    for (const auto& e : expected) {
        const size_t eq = e.find('=');
        const std::string path = e.substr(0, eq), held = e.substr(eq + 1);
        const auto contents = winsim::ReadWholeFile(path);
        const bool exists = std::filesystem::exists(*winsim::HostPath(path));
        if (held.empty()) {
            EXPECT_FALSE(exists) << row << ": " << path;
        } else {
            EXPECT_EQ(held, contents.value_or("(missing)")) << row << ": " << path;
        }
    }
}

std::vector<BYTE> MultiSz(const std::vector<std::string>& strings) {
    std::vector<BYTE> data;
    for (const auto& s : strings) {
        data.insert(data.end(), s.begin(), s.end());
        data.push_back(0);
    }
    data.push_back(0);
    return data;
}

TEST(Restart, SessionManagerCarriesOutThePairsInOrderAndRemovesTheValue) {
    const struct {
        const char* name;
        std::vector<std::string> before;
        std::vector<std::string> pairs;  // source, target, source, target, ...
        std::vector<std::string> after;
        bool readOnly = false;
    } rows[] = {
        {"rename into another folder",
         {"C:\\A\\B.DLL", "C:\\N\\"},
         {"\\??\\C:\\A\\B.DLL", "\\??\\C:\\N\\B.DLL"},
         {"C:\\A\\B.DLL=", "C:\\N\\B.DLL=C:\\A\\B.DLL"}},
        {"existing target without !",
         {"C:\\NEW.DLL", "C:\\CUR.DLL"},
         {"\\??\\C:\\NEW.DLL", "\\??\\C:\\CUR.DLL"},
         {"C:\\NEW.DLL=C:\\NEW.DLL", "C:\\CUR.DLL=C:\\CUR.DLL"}},
        {"delete, then rename onto the freed name",
         {"C:\\NEW.DLL", "C:\\CUR.DLL"},
         {"\\??\\C:\\CUR.DLL", "", "\\??\\C:\\NEW.DLL", "\\??\\C:\\CUR.DLL"},
         {"C:\\NEW.DLL=", "C:\\CUR.DLL=C:\\NEW.DLL"}},
        {"a missing source does not stop the rest",
         {"C:\\A.DLL"},
         {"\\??\\C:\\GONE.DLL", "\\??\\C:\\X.DLL", "\\??\\C:\\A.DLL", ""},
         {"C:\\A.DLL=", "C:\\X.DLL="}},
        {"folders: only an empty one goes",
         {"C:\\FULL\\X.DLL", "C:\\EMPTY\\"},
         {"\\??\\C:\\FULL", "", "\\??\\C:\\EMPTY", ""},
         {"C:\\FULL\\X.DLL=C:\\FULL\\X.DLL", "C:\\EMPTY="}},
        // Deleted, and replaced where the target is marked with '!'.
        {"read-only files go too",
         {"C:\\RO.DLL", "C:\\RO2.DLL", "C:\\RO3.DLL"},
         {"\\??\\C:\\RO.DLL", "", "\\??\\C:\\RO2.DLL", "!\\??\\C:\\RO3.DLL"},
         {"C:\\RO.DLL=", "C:\\RO2.DLL=", "C:\\RO3.DLL=C:\\RO2.DLL"},
         true},
    };
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        for (const auto& path : row.before) {
            Put(path);
            if (row.readOnly) chmod(winsim::HostPath(path)->c_str(), 0444);
        }
        machine->Reg().SetValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ, MultiSz(row.pairs));
        EXPECT_EQ(row.pairs.size() / 2, winsim::PendingFileOperations(*machine).size()) << row.name;
        // The other family's form is no part of this one's restart.
        Put("C:\\KEEP9X.DLL");
        ASSERT_TRUE(
            winsim::WriteWholeFile(machine->WindowsDirectory() + "\\WININIT.INI", "[rename]\nNUL=C:\\KEEP9X.DLL\n"));
        winsim::Restart(*machine);
        ExpectFiles(row.after, row.name);
        ExpectFiles({"C:\\KEEP9X.DLL=C:\\KEEP9X.DLL"}, row.name);
        EXPECT_FALSE(machine->Reg().GetValue(kSessionManager, "PendingFileRenameOperations")) << row.name;
    }
}

TEST(Restart, WininitCarriesOutItsRenameSectionAndKeepsTheFileAsWininitBak) {
    const struct {
        const char* name;
        std::vector<std::string> before;
        const char* ini;
        std::vector<std::string> after;
    } rows[] = {
        {"replace, section named as WritePrivateProfileString writes it",
         {"C:\\NEW.DLL", "C:\\CUR.DLL"},
         "[Rename]\nC:\\CUR.DLL=C:\\NEW.DLL\n",
         {"C:\\NEW.DLL=", "C:\\CUR.DLL=C:\\NEW.DLL"}},
        {"move to another folder, upper-case section",
         {"C:\\A\\B.DLL", "C:\\N\\"},
         "[RENAME]\nc:\\n\\b.dll = C:\\A\\B.DLL\n",
         {"C:\\A\\B.DLL=", "C:\\N\\B.DLL=C:\\A\\B.DLL"}},
        {"repeated NUL keys, other sections left alone",
         {"C:\\A.DLL", "C:\\B.DLL", "C:\\KEEP.DLL"},
         "[CombineVxDs]\r\nNUL=C:\\KEEP.DLL\r\n[rename]\r\nnul=C:\\A.DLL\r\nNUL=C:\\B.DLL\r\n",
         {"C:\\A.DLL=", "C:\\B.DLL=", "C:\\KEEP.DLL=C:\\KEEP.DLL"}},
        {"long names are skipped",
         {"C:\\Program Files\\OLD.DLL", "C:\\LONGFILENAME.DLL", "C:\\X.DLL"},
         "[rename]\nNUL=C:\\Program Files\\OLD.DLL\nNUL=C:\\LONGFILENAME.DLL\nC:\\LONGNAME.TEXT=C:\\X.DLL\n",
         {"C:\\Program Files\\OLD.DLL=C:\\Program Files\\OLD.DLL", "C:\\LONGFILENAME.DLL=C:\\LONGFILENAME.DLL",
          "C:\\X.DLL=C:\\X.DLL"}},
    };
    for (const auto& row : rows) {
        winsim::ScopedMachine machine(OsVersion::Win98);
        for (const auto& path : row.before) Put(path);
        ASSERT_TRUE(winsim::WriteWholeFile("C:\\WINDOWS\\WinInit.Ini", row.ini));
        ASSERT_TRUE(winsim::WriteWholeFile("C:\\WINDOWS\\WININIT.BAK", "an older one"));
        Put("C:\\KEEPNT.DLL");
        machine->Reg().SetValue(kSessionManager, "PendingFileRenameOperations", REG_MULTI_SZ,
                                MultiSz({"\\??\\C:\\KEEPNT.DLL", ""}));
        winsim::Restart(*machine);
        ExpectFiles(row.after, row.name);
        ExpectFiles({"C:\\KEEPNT.DLL=C:\\KEEPNT.DLL"}, row.name);
        EXPECT_FALSE(winsim::ReadWholeFile("C:\\WINDOWS\\WININIT.INI")) << row.name;
        EXPECT_EQ(row.ini, winsim::ReadWholeFile("C:\\WINDOWS\\WININIT.BAK").value_or("")) << row.name;
    }
}

TEST(Restart, ProgramsAndServicesEndAndTheServicesThatStartWithTheSystemComeBack) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    auto& services = machine->Services();
    services.Install(Service("Auto", {"Needed"}, SERVICE_AUTO_START));
    services.Install(Service("Needed"));
    services.Install(Service("Demand"), SERVICE_RUNNING);
    services.Install(Service("Failing", {}, SERVICE_AUTO_START));
    services.Install(Service("Marked", {}, SERVICE_AUTO_START), SERVICE_RUNNING);
    winsim::ServiceScript fails;
    fails.start = winsim::ServiceScript::Start::Fails;
    services.SetScript("Failing", fails);
    // Marked for deletion while a program keeps a handle on it: it goes only with the restart.
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE marked = OpenServiceA(manager, "Marked", SERVICE_ALL_ACCESS);
    ASSERT_TRUE(DeleteService(marked));
    // A program that would run for ever ends with the shutdown.
    winsim::ProgramScript forever;
    forever.path = "C:\\x\\tray.exe";
    forever.run = winsim::ProgramScript::Run::Never;
    machine->Processes().Start(forever, "");
    const uint64_t before = machine->NowMs();

    winsim::Restart(*machine);

    for (const auto& [name, state] : {std::pair<const char*, DWORD>{"Auto", SERVICE_RUNNING},
                                      {"Needed", SERVICE_RUNNING},
                                      {"Demand", SERVICE_STOPPED},
                                      {"Failing", SERVICE_STOPPED}})
        EXPECT_EQ(state, services.Find(name)->state) << name;
    EXPECT_FALSE(services.Find("Marked"));
    EXPECT_FALSE(machine->Reg().KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Marked"));
    EXPECT_EQ(0u, winsim::OpenServiceHandleCount());
    EXPECT_TRUE(machine->Processes().Running().empty());
    EXPECT_GT(machine->NowMs(), before);
}

}  // namespace
