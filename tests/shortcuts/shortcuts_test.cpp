// Start-menu shortcuts from the INF on every Windows version: the folders and links a user finds,
// and what the exports report.
#include "kvisinst/exports.h"
#include "kvisinst/shortcuts/shortcuts.h"

#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/shellfolders.h>
#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include "inf/inf_testing.h"
#include "shared/shortcut_rows.h"

#include <optional>
#include <string>
#include <thread>
#include <vector>

using winsim::OsVersion;

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A "Shell Folders" value under "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
std::string ShellFolders(const char* root) { return std::string(root) + "\\" + kShellFoldersKey; }

// Each test runs on a fresh machine of one version, with the INF it writes open.
class ShortcutsTest : public testing::TestWithParam<OsVersion> {
protected:
    void TearDown() override {
        // Every link object released, every COM initialisation undone.
        EXPECT_EQ(0u, winsim::LiveComObjects());
        EXPECT_EQ(0, winsim::ComInitializations());
    }

    HINF Inf(const std::string& sections) { return inf_.emplace(sections).Handle(); }

    // Where the per-user Programs and the All Users Programs folder are on this version; 95 has no
    // All Users folder.
    std::string Programs() { return *winsim::DefaultShellFolder(GetParam(), "Programs"); }
    std::string CommonPrograms() { return winsim::DefaultShellFolder(GetParam(), "Common Programs").value_or(""); }
    bool HasCommonPrograms() { return !CommonPrograms().empty(); }

    winsim::ScopedMachine machine_{GetParam()};
    std::optional<inftest::CTestInf> inf_;  // closed before the machine goes
};

TEST_P(ShortcutsTest, EmptyValueMakesTheFolderInCommonProgramsWithItsLinks) {
    HINF inf = Inf("[AddShortcuts]\r\nTools=\r\n[Tools]\r\n" + ShortcutSectionLines("C:\\WINDOWS"));
    EXPECT_EQ(0, InstallShortcuts(inf, 1, nullptr));
    if (!HasCommonPrograms()) {
        // Windows 95 has no "Common Programs": the folder is left out rather than made elsewhere.
        EXPECT_FALSE(Exists("C:\\Tools"));
        EXPECT_TRUE(FAILED(AddRemoveShortcut(inf, "Tools", nullptr, 1)));
        EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Tools", nullptr, 0));
        return;
    }
    const std::string folder = CommonPrograms() + "\\Tools";
    for (const auto& row : kShortcutLineRows) {
        auto link = winsim::ReadShellLink(folder + "\\" + row.name + ".lnk");
        ASSERT_TRUE(link) << row.name;
        EXPECT_EQ(std::string("C:\\WINDOWS\\") + row.target, link->target) << row.name;
        EXPECT_EQ(row.arguments, link->arguments) << row.name;
        EXPECT_EQ(row.name, link->description) << row.name;
    }

    // Removal takes links and folder; a second removal finds nothing and says nothing.
    EXPECT_EQ(0, InstallShortcuts(inf, 0, nullptr));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(IsFolder(CommonPrograms()));
    EXPECT_EQ(0, InstallShortcuts(inf, 0, nullptr));
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Tools", nullptr, 0));
}

TEST_P(ShortcutsTest, TemplatesUseTheRootTheirPlaceholderNamesAndThoseThatCannotBeExpandedMakeNothing) {
    // Only names beginning with "Common " (that very spelling) are read from HKEY_LOCAL_MACHINE.
    const std::string user = ShellFolders("HKEY_CURRENT_USER");
    machine_->Reg().SetStringValue(user, "common Programs", "C:\\Per User");
    machine_->Reg().SetStringValue(ShellFolders("HKEY_LOCAL_MACHINE"), "Common Stuff", "C:\\All Users Stuff");
    char folder[kShortcutTextSize];
    ASSERT_EQ(S_OK, ExpandFolderTemplate("<common Programs>\\a", folder));
    EXPECT_STREQ("C:\\Per User\\a", folder);
    ASSERT_EQ(S_OK, ExpandFolderTemplate("<Common Stuff>-<common Programs>", folder));
    EXPECT_STREQ("C:\\All Users Stuff-C:\\Per User", folder);

    machine_->Reg().SetDwordValue(user, "Number", 1);
    machine_->Reg().SetStringValue(user, "Long", "C:\\" + std::string(250, 'x'));
    machine_->Reg().SetStringValue(user, "TooLong", "C:\\" + std::string(300, 'y'));
    std::vector<std::string> templates(std::begin(kUnexpandableTemplates), std::end(kUnexpandableTemplates));
    templates.insert(templates.end(), {
                                          "<Number>\\Kv Broken",   // a value that is no string
                                          "<TooLong>\\Kv Broken",  // a value over 260 bytes
                                          "<Long>\\Kv Broken",     // a path over 259 characters
                                          "C:\\" + std::string(257, 'z'),
                                      });
    HINF inf = Inf("[Kv Broken]\r\nEnroll=C:\\kvenroll.exe\r\n");
    for (size_t i = 0; i < templates.size(); ++i) {
        EXPECT_TRUE(FAILED(AddRemoveShortcut(inf, "Kv Broken", templates[i].c_str(), 1))) << "row " << i;
        EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Kv Broken", templates[i].c_str(), 0)) << "row " << i;
    }
    // Nothing was made anywhere: not the literal text, not a folder below the current directory.
    EXPECT_FALSE(Exists("C:\\Kv Broken"));
    EXPECT_FALSE(Exists(Programs() + "\\Kv Broken"));
    EXPECT_FALSE(Exists("C:\\Setup\\Kv Broken"));
}

TEST_P(ShortcutsTest, TheTemplateAloneNamesAFolderButNeverCommonProgramsItself) {
    HINF inf = Inf("[Other]\r\nEnroll=C:\\kvenroll.exe\r\n");
    const std::string folder = Programs() + "\\Loose";
    for (const char* section : {static_cast<const char*>(nullptr), ""}) {
        // A folder without a section of shortcuts is made and removed like any other.
        EXPECT_EQ(S_OK, AddRemoveShortcut(inf, section, "<Programs>\\Loose", 1));
        EXPECT_TRUE(IsFolder(folder));
        EXPECT_EQ(S_OK, AddRemoveShortcut(inf, section, "<Programs>\\Loose", 0));
        EXPECT_FALSE(Exists(folder));
        // Without either, the default template would be Common Programs itself: left alone.
        EXPECT_EQ(E_INVALIDARG, AddRemoveShortcut(inf, section, nullptr, 1));
        EXPECT_EQ(S_OK, AddRemoveShortcut(inf, section, "", 0));
        EXPECT_TRUE(!HasCommonPrograms() || IsFolder(CommonPrograms()));
    }
}

TEST_P(ShortcutsTest, RemovingLinksThatAreGoneAsksTheShellNothing) {
    HINF inf = Inf("[Tool]\r\n" + ShortcutSectionLines("C:\\WINDOWS"));
    const std::string folder = Programs() + "\\Tool";
    ASSERT_EQ(S_OK, AddRemoveShortcut(inf, "Tool", "<Programs>\\Tool", 1));
    // The user deleted one link; the shell would answer its name with an error box that waits for
    // someone to dismiss it.
    ASSERT_TRUE(DeleteFileA((folder + "\\Plain.lnk").c_str()));
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Tool", "<Programs>\\Tool", 0));
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Tool", "<Programs>\\Tool", 0));
    EXPECT_TRUE(machine_->Dialogs().MessageBoxes().empty());
}

TEST_P(ShortcutsTest, MissingParentFolderMeansNoFolderAndNoLinksAndRemovalKeepsOtherFiles) {
    HINF inf = Inf("[Deep]\r\nEnroll=C:\\kvenroll.exe\r\n");
    const std::string parent = Programs() + "\\Missing";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), AddRemoveShortcut(inf, "Deep", "<Programs>\\Missing\\Deep", 1));
    EXPECT_FALSE(Exists(parent));
    // With the parent in place the same call succeeds, and again over the existing folder.
    ASSERT_TRUE(CreateDirectoryA(parent.c_str(), nullptr));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Deep", "<Programs>\\Missing\\Deep", 1));
    // Removal keeps a folder that holds files of the user's.
    ASSERT_TRUE(winsim::WriteWholeFile(parent + "\\Deep\\Notes.txt", "mine"));
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Deep", "<Programs>\\Missing\\Deep", 0));
    EXPECT_FALSE(Exists(parent + "\\Deep\\Enroll.lnk"));
    EXPECT_TRUE(Exists(parent + "\\Deep\\Notes.txt"));
}

TEST_P(ShortcutsTest, OneFailingLinkDoesNotStopTheOthers) {
    HINF inf = Inf("[Mixed]\r\nBad|Name=C:\\a.exe\r\nGood=C:\\b.exe\r\n[BadLast]\r\nGood=C:\\b.exe\r\n"
                   "Bad?Name=C:\\a.exe\r\n[LongName]\r\n" + std::string(200, 'n') + "=C:\\a.exe\r\n");
    const std::string folder = Programs() + "\\Mixed";
    // Adding reports the last line's outcome only.
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Mixed", "<Programs>\\Mixed", 1));
    EXPECT_TRUE(Exists(folder + "\\Good.lnk"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), AddRemoveShortcut(inf, "BadLast", "<Programs>\\Mixed", 1));
    // A name that fits its field but makes the link's path longer than 259 characters.
    const std::string deepTemplate = "<Programs>\\" + std::string(60, 'f');
    EXPECT_TRUE(FAILED(AddRemoveShortcut(inf, "LongName", deepTemplate.c_str(), 1)));
    // Removing never reports: the bad names are simply not found.
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Mixed", "<Programs>\\Mixed", 0));
    EXPECT_FALSE(Exists(folder));
}

TEST_P(ShortcutsTest, RemovalUsesRemoveShortcutsWhenTheInfHasIt) {
    HINF inf = Inf("[AddShortcuts]\r\nNew=<Programs>\\New\r\n[RemoveShortcuts]\r\nOld=<Programs>\\Old\r\n"
                   "[New]\r\nTwo=C:\\two.exe\r\n[Old]\r\nOne=C:\\one.exe\r\n");
    EXPECT_EQ(S_OK, AddRemoveShortcut(inf, "Old", "<Programs>\\Old", 1));
    EXPECT_EQ(0, InstallShortcuts(inf, 1, nullptr));
    ASSERT_TRUE(Exists(Programs() + "\\New\\Two.lnk"));
    EXPECT_EQ(0, InstallShortcuts(inf, 0, nullptr));
    EXPECT_FALSE(Exists(Programs() + "\\Old"));
    EXPECT_TRUE(Exists(Programs() + "\\New\\Two.lnk"));
    // A list named by the caller wins over both.
    EXPECT_EQ(0, InstallShortcuts(inf, 0, "AddShortcuts"));
    EXPECT_FALSE(Exists(Programs() + "\\New"));
}

TEST_P(ShortcutsTest, ListsAreReadInTheirPlatformForm) {
    static const char* const kSuffix[] = {".win95", ".win98", ".ntx86", ".nt5x86"};
    const std::string suffix = kSuffix[static_cast<int>(GetParam())];
    // Removal finds "RemoveShortcuts" even when only its platform form exists.
    HINF inf = Inf("[AddShortcuts]\r\nGeneric=<Programs>\\Generic\r\n[AddShortcuts" + suffix +
                   "]\r\nSpecific=<Programs>\\Specific\r\n[RemoveShortcuts" + suffix +
                   "]\r\nSpecific=<Programs>\\Specific\r\n[Generic]\r\nA=C:\\a.exe\r\n[Specific]\r\nB=C:\\b.exe\r\n");
    EXPECT_EQ(0, InstallShortcuts(inf, 1, nullptr));
    EXPECT_TRUE(Exists(Programs() + "\\Specific\\B.lnk"));
    EXPECT_FALSE(Exists(Programs() + "\\Generic"));
    ASSERT_EQ(S_OK, AddRemoveShortcut(inf, "Generic", "<Programs>\\Generic", 1));
    EXPECT_EQ(0, InstallShortcuts(inf, 0, nullptr));
    EXPECT_FALSE(Exists(Programs() + "\\Specific"));
    EXPECT_TRUE(Exists(Programs() + "\\Generic\\A.lnk")) << "removal used the RemoveShortcuts list";
}

TEST_P(ShortcutsTest, ResultsFollowTheCallersApartment) {
    HINF inf = Inf("[Tool]\r\nEnroll=C:\\kvenroll.exe\r\n[Nothing]\r\n");
    for (const auto& row : kApartmentRows) {
        HRESULT results[4] = {};
        // On a thread of its own, as a setup program's worker thread would call.
        std::thread([&] {
            if (row.callerInit >= 0) CoInitializeEx(nullptr, static_cast<DWORD>(row.callerInit));
            results[0] = AddRemoveShortcut(inf, "Tool", "<Programs>\\Tool", 1);
            results[1] = AddRemoveShortcut(inf, "Nothing", "<Programs>\\Nothing", 1);
            results[2] = AddRemoveShortcut(inf, "Tool", "<Programs>\\Tool", 0);
            results[3] = winsim::ComInitializations();
            if (row.callerInit >= 0) CoUninitialize();
        }).join();
        EXPECT_EQ(S_OK, results[0]) << row.name;
        EXPECT_EQ(row.result, results[1]) << row.name << ": a section without lines";
        EXPECT_TRUE(IsFolder(Programs() + "\\Nothing")) << row.name;
        EXPECT_EQ(row.result, results[2]) << row.name;
        EXPECT_EQ(row.callerInit >= 0 ? 1 : 0, results[3]) << row.name << ": COM left as the caller had it";
        EXPECT_FALSE(Exists(Programs() + "\\Tool")) << row.name;
    }
}

TEST_P(ShortcutsTest, OverlongLinesAreSkippedAndNamelessOnesUseTheirTemplate) {
    HINF inf = Inf("[AddShortcuts]\r\n=<Programs>\\Nameless\r\nLong=<Programs>\\" + std::string(270, 'l') +
                   "\r\nFine=<Programs>\\Fine\r\n[Fine]\r\nEnroll=C:\\kvenroll.exe\r\nHuge=C:\\" +
                   std::string(300, 'h') + ".exe\r\n");
    EXPECT_EQ(0, InstallShortcuts(inf, 1, nullptr));
    EXPECT_TRUE(Exists(Programs() + "\\Fine\\Enroll.lnk"));
    EXPECT_FALSE(Exists(Programs() + "\\Fine\\Huge.lnk"));
    EXPECT_TRUE(FAILED(AddRemoveShortcut(inf, "Fine", "<Programs>\\Fine", 1)));
    // A line without a folder section name still names its folder by the template.
    EXPECT_TRUE(IsFolder(Programs() + "\\Nameless"));
    // The whole section list was walked: nothing stopped at the bad lines.
    EXPECT_EQ(0, InstallShortcuts(inf, 0, nullptr));
    EXPECT_FALSE(Exists(Programs() + "\\Fine"));
    EXPECT_FALSE(Exists(Programs() + "\\Nameless"));
}

INSTANTIATE_TEST_SUITE_P(EachVersion, ShortcutsTest,
                         testing::Values(OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000),
                         [](const auto& info) { return std::string("Win") + winsim::OsVersionName(info.param); });

}  // namespace
