// Start-menu shortcuts on a real Windows (Wine): folders made in the machine's Common Programs
// folder, links saved by the system's shell link object and read back through it.
#include "kvisinst/exports.h"
#include "kvisinst/shortcuts/shortcuts.h"

#include "windows/temp_inf.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "shared/proc.h"

#include <string>

namespace {

std::string CommonPrograms() {
    char path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return path;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct LinkContents {
    HRESULT loaded = E_FAIL;
    std::string path;
    std::string arguments;
    std::string description;
};

// Reads a saved link back through the system's link object.
LinkContents ReadLink(const std::string& file) {
    LinkContents out;
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(hr)) {
        std::wstring wide(file.begin(), file.end());
        hr = persist->Load(wide.c_str(), STGM_READ);
    }
    out.loaded = hr;
    if (SUCCEEDED(hr)) {
        char text[1024] = {};
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        out.path = text;
        text[0] = '\0';
        link->GetArguments(text, sizeof text);
        out.arguments = text;
        text[0] = '\0';
        link->GetDescription(text, sizeof text);
        out.description = text;
    }
    if (persist) persist->Release();
    if (link) link->Release();
    return out;
}

std::string WindowsFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + name;
}

// Every test runs with COM initialised on its thread, as the test reads links back through COM; the
// library's own initialisation then reports S_FALSE.
class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(ShortcutsTest, AddShortcutsCreatesFolderAndLinksInCommonProgramsAndRemovalTakesThemAway) {
    const std::string notepad = WindowsFile("notepad.exe");
    const std::string regedit = WindowsFile("regedit.exe");
    CTempInf inf("[AddShortcuts]\r\n"
                 "KvWine Reader=\r\n"
                 "[KvWine Reader]\r\n"
                 "Reader Tool=" + notepad + ",/a,b,c\r\n"
                 "Plain=" + regedit + "\r\n");
    ASSERT_NE(inf.Handle(), INVALID_HANDLE_VALUE);
    const std::string folder = CommonPrograms() + "\\KvWine Reader";

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 1, nullptr), 0);
    ASSERT_TRUE(IsFolder(folder)) << folder;

    const LinkContents tool = ReadLink(folder + "\\Reader Tool.lnk");
    ASSERT_EQ(tool.loaded, S_OK);
    EXPECT_EQ(lstrcmpiA(tool.path.c_str(), notepad.c_str()), 0) << tool.path;
    EXPECT_EQ(tool.arguments, "/a,b,c");  // everything after the first comma
    EXPECT_EQ(tool.description, "Reader Tool");

    const LinkContents plain = ReadLink(folder + "\\Plain.lnk");
    ASSERT_EQ(plain.loaded, S_OK);
    EXPECT_EQ(lstrcmpiA(plain.path.c_str(), regedit.c_str()), 0) << plain.path;
    EXPECT_EQ(plain.arguments, "");
    EXPECT_EQ(plain.description, "Plain");

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
    EXPECT_FALSE(Exists(folder + "\\Reader Tool.lnk"));
    EXPECT_FALSE(Exists(folder + "\\Plain.lnk"));
    EXPECT_FALSE(Exists(folder));

    // Again, with nothing left to remove: harmless and silent.
    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
    EXPECT_FALSE(Exists(folder));
}

TEST_F(ShortcutsTest, RemoveShortcutsListIsUsedForRemoval) {
    const std::string notepad = WindowsFile("notepad.exe");
    CTempInf inf("[AddShortcuts]\r\n"
                 "KvWine Added=\r\n"
                 "[RemoveShortcuts]\r\n"
                 "KvWine Removed=\r\n"
                 "[KvWine Added]\r\n"
                 "One=" + notepad + "\r\n"
                 "[KvWine Removed]\r\n"
                 "Two=" + notepad + "\r\n");
    ASSERT_NE(inf.Handle(), INVALID_HANDLE_VALUE);
    const std::string added = CommonPrograms() + "\\KvWine Added";
    const std::string removed = CommonPrograms() + "\\KvWine Removed";
    // What the removal list names, made the way an earlier version of the product made it.
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Removed", nullptr, 1), S_OK);
    EXPECT_EQ(InstallShortcuts(inf.Handle(), 1, nullptr), 0);
    ASSERT_TRUE(Exists(added + "\\One.lnk"));
    ASSERT_TRUE(Exists(removed + "\\Two.lnk"));

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
    EXPECT_FALSE(Exists(removed));
    EXPECT_TRUE(Exists(added + "\\One.lnk")) << "the add list is not the removal list here";

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, "AddShortcuts"), 0);
    EXPECT_FALSE(Exists(added));
}

TEST_F(ShortcutsTest, ResultsReportLinkAndComOutcomes) {
    const std::string notepad = WindowsFile("notepad.exe");
    CTempInf inf("[KvWine Result]\r\n"
                 "Tool=" + notepad + "\r\n"
                 "[KvWine Empty]\r\n");
    ASSERT_NE(inf.Handle(), INVALID_HANDLE_VALUE);
    const std::string folder = CommonPrograms() + "\\KvWine Result";

    // Adding: the save's result. Removing: COM's answer to a thread that had initialised already.
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 1), S_OK);
    EXPECT_TRUE(Exists(folder + "\\Tool.lnk"));
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 0), S_FALSE);
    EXPECT_FALSE(Exists(folder));

    // A section without lines still gets its folder, and reports COM's answer.
    const std::string empty = CommonPrograms() + "\\KvWine Empty";
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 1), S_FALSE);
    EXPECT_TRUE(IsFolder(empty));
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 0), S_FALSE);
    EXPECT_FALSE(Exists(empty));

    // A folder whose parent does not exist is not made, and its link cannot be saved.
    const std::string orphan = CommonPrograms() + "\\KvWine Missing\\Child";
    EXPECT_TRUE(FAILED(AddRemoveShortcut(inf.Handle(), "KvWine Result", "<Common Programs>\\KvWine Missing\\Child", 1)));
    EXPECT_FALSE(Exists(orphan));
}

TEST_F(ShortcutsTest, DecoratedExportsOfTheDllMakeAndRemoveTheFolder) {
    HMODULE module = LoadLibraryA("KVISINST.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto installShortcuts =
        ProcAs<LONG (*)(void*, int, const char*)>(GetProcAddress(module, "?InstallShortcuts@@YAJPEAXHPEBD@Z"));
    auto addRemoveShortcut = ProcAs<LONG (*)(void*, const char*, const char*, int)>(
        GetProcAddress(module, "?AddRemoveShortcut@@YAJPEAXPEBD1H@Z"));
    ASSERT_NE(installShortcuts, nullptr);
    ASSERT_NE(addRemoveShortcut, nullptr);

    CTempInf inf("[AddShortcuts]\r\nKvWine Dll=\r\n[KvWine Dll]\r\nTool=" + WindowsFile("notepad.exe") + "\r\n");
    const std::string folder = CommonPrograms() + "\\KvWine Dll";
    EXPECT_EQ(installShortcuts(inf.Handle(), 1, nullptr), 0);
    EXPECT_TRUE(Exists(folder + "\\Tool.lnk"));
    EXPECT_EQ(addRemoveShortcut(inf.Handle(), "KvWine Dll", nullptr, 0), S_FALSE);
    EXPECT_FALSE(Exists(folder));
    FreeLibrary(module);
}

TEST(ShortcutsApartment, MultithreadedCallerGetsChangedModeAndLinksAreStillMade) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    const std::string notepad = WindowsFile("notepad.exe");
    CTempInf inf("[KvWine Mta]\r\nTool=" + notepad + ",x\r\n");
    const std::string folder = CommonPrograms() + "\\KvWine Mta";
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Mta", nullptr, 1), S_OK);
    EXPECT_TRUE(Exists(folder + "\\Tool.lnk"));
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Mta", nullptr, 0), RPC_E_CHANGED_MODE);
    EXPECT_FALSE(Exists(folder));
    CoUninitialize();
}

TEST(FolderTemplate, ExpandsFromTheShellFoldersValuesOfTheRightRoot) {
    // The shell records a folder's path under "Shell Folders" once it has been asked for it.
    const std::string commonPrograms = CommonPrograms();
    char folder[kShortcutTextSize];
    ASSERT_EQ(ExpandFolderTemplate("<Common Programs>\\Kv", folder), S_OK);
    EXPECT_EQ(lstrcmpiA(folder, (commonPrograms + "\\Kv").c_str()), 0) << folder;

    char programs[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs), S_OK);
    ASSERT_EQ(ExpandFolderTemplate("<Programs>", folder), S_OK);
    EXPECT_EQ(lstrcmpiA(folder, programs), 0) << folder;

    EXPECT_EQ(ExpandFolderTemplate("<Common Programs\\Kv", folder), E_INVALIDARG);
    EXPECT_EQ(ExpandFolderTemplate("<No Such Shell Folder>\\Kv", folder), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
