// Start-menu shortcuts on a real Windows (Wine): folders made in the machine's Common Programs
// folder, links saved by the system's shell link object and read back through it.
#include "kvisinst/exports.h"
#include "kvisinst/shortcuts/shortcuts.h"

#include "windows/temp_inf.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "shared/proc.h"
#include "shared/shortcut_rows.h"

#include <string>
#include <thread>

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

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

std::string WindowsFile(const char* name) { return WindowsFolder() + "\\" + name; }

// Every test runs with COM initialised on its thread, as the test reads links back through COM; the
// library's own initialisation then reports S_FALSE.
class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(ShortcutsTest, AddShortcutsCreatesFolderAndLinksInCommonProgramsAndRemovalTakesThemAway) {
    CTempInf inf("[AddShortcuts]\r\nKvWine Reader=\r\n[KvWine Reader]\r\n" + ShortcutSectionLines(WindowsFolder()));
    ASSERT_NE(inf.Handle(), INVALID_HANDLE_VALUE);
    const std::string folder = CommonPrograms() + "\\KvWine Reader";

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 1, nullptr), 0);
    ASSERT_TRUE(IsFolder(folder)) << folder;
    for (const auto& row : kShortcutLineRows) {
        const LinkContents link = ReadLink(folder + "\\" + row.name + ".lnk");
        ASSERT_EQ(link.loaded, S_OK) << row.name;
        EXPECT_EQ(lstrcmpiA(link.path.c_str(), WindowsFile(row.target).c_str()), 0) << link.path;
        EXPECT_EQ(link.arguments, row.arguments) << row.name;
        EXPECT_EQ(link.description, row.name);
    }

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
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

TEST(ShortcutsApartment, ResultsFollowTheCallersApartmentAndLinksAreMadeInEach) {
    CTempInf inf("[KvWine Result]\r\nTool=" + WindowsFile("notepad.exe") + "\r\n[KvWine Empty]\r\n");
    ASSERT_NE(inf.Handle(), INVALID_HANDLE_VALUE);
    const std::string folder = CommonPrograms() + "\\KvWine Result";
    const std::string empty = CommonPrograms() + "\\KvWine Empty";
    for (const auto& row : kApartmentRows) {
        // On a thread of its own, as a setup program's worker thread would call.
        std::thread([&] {
            if (row.callerInit >= 0) CoInitializeEx(nullptr, static_cast<DWORD>(row.callerInit));
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 1), S_OK) << row.name;
            EXPECT_TRUE(Exists(folder + "\\Tool.lnk")) << row.name;
            // A section without lines still gets its folder.
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 1), row.result) << row.name;
            EXPECT_TRUE(IsFolder(empty)) << row.name;
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 0), row.result) << row.name;
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 0), row.result) << row.name;
            if (row.callerInit >= 0) CoUninitialize();
        }).join();
        EXPECT_FALSE(Exists(folder)) << row.name;
        EXPECT_FALSE(Exists(empty)) << row.name;
    }
}

TEST(FolderTemplate, AFolderWhoseParentOrTemplateIsMissingIsNotMade) {
    CTempInf inf("[KvWine Broken]\r\nTool=" + WindowsFile("notepad.exe") + "\r\n");
    const std::string orphan = CommonPrograms() + "\\KvWine Missing\\Child";
    EXPECT_TRUE(FAILED(AddRemoveShortcut(inf.Handle(), "KvWine Broken", "<Common Programs>\\KvWine Missing\\Child", 1)));
    EXPECT_FALSE(Exists(orphan));
    for (const char* folderTemplate : kUnexpandableTemplates) {
        EXPECT_TRUE(FAILED(AddRemoveShortcut(inf.Handle(), "KvWine Broken", folderTemplate, 1))) << folderTemplate;
        EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Broken", folderTemplate, 0), S_OK) << folderTemplate;
    }
    EXPECT_FALSE(Exists(CommonPrograms() + "\\Kv Broken"));
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
}

}  // namespace
