// Start-menu shortcuts on a real Windows (Wine): folders made in the machine's Common Programs
// folder, links saved by the system's shell link object and read back through it.
#include "kvisinst/common/handle.h"
#include "kvisinst/exports.h"

#include "windows/temp_inf.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "shared/shortcut_rows.h"

#include <string>
#include <functional>

namespace {

std::string CommonPrograms() {
    char path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return path;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct LinkContents {
    HRESULT loaded;
    std::string path, arguments, description;
};

// Reads a saved link back through the system's link object.
LinkContents ReadLink(const std::string& file) {
    CComPtr<IShellLinkA> link;
    CComPtr<IPersistFile> persist;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(link.Put()));
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.Put()));
    if (SUCCEEDED(hr)) hr = persist->Load(std::wstring(file.begin(), file.end()).c_str(), STGM_READ);
    char path[1024] = {}, arguments[1024] = {}, description[1024] = {};
    if (FAILED(hr)) return {hr, "", "", ""};
    link->GetPath(path, sizeof path, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, sizeof arguments);
    link->GetDescription(description, sizeof description);
    return {hr, path, arguments, description};
}

std::string WindowsFile(const char* name = "") {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + (*name ? "\\" : "") + name;
}

// Every test runs with COM initialised on its thread, as the test reads links back through COM; the
// library's own initialisation then reports S_FALSE.
class ShortcutsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(ShortcutsTest, AddShortcutsCreatesFolderAndLinksInCommonProgramsAndRemovalTakesThemAway) {
    CTempInf inf("[AddShortcuts]\r\nKvWine Reader=\r\n[KvWine Reader]\r\n" + ShortcutSectionLines(WindowsFile()));
    const std::string folder = CommonPrograms() + "\\KvWine Reader";

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 1, nullptr), 0);
    ASSERT_TRUE(Exists(folder)) << folder;
    for (const auto& row : kShortcutLineRows) {
        const LinkContents link = ReadLink(folder + "\\" + row.name + ".lnk");
        ASSERT_EQ(link.loaded, S_OK) << row.name;
        EXPECT_EQ(lstrcmpiA(link.path.c_str(), WindowsFile(row.target).c_str()), 0) << link.path;
        EXPECT_EQ(link.arguments, row.arguments) << row.name;
        EXPECT_EQ(link.description, row.name);
    }

    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
    EXPECT_FALSE(Exists(folder));
}

TEST_F(ShortcutsTest, RemoveShortcutsListIsUsedForRemoval) {
    const std::string tool = WindowsFile("notepad.exe");
    CTempInf inf("[AddShortcuts]\r\nKvWine Added=\r\n[RemoveShortcuts]\r\nKvWine Removed=\r\n[KvWine Added]\r\nOne=" +
                 tool + "\r\n[KvWine Removed]\r\nTwo=" + tool + "\r\n");
    // What the removal list names, made the way an earlier version of the product made it.
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Removed", nullptr, 1), S_OK);
    EXPECT_EQ(InstallShortcuts(inf.Handle(), 1, nullptr), 0);
    EXPECT_EQ(InstallShortcuts(inf.Handle(), 0, nullptr), 0);
    EXPECT_FALSE(Exists(CommonPrograms() + "\\KvWine Removed"));
    EXPECT_TRUE(Exists(CommonPrograms() + "\\KvWine Added\\One.lnk")) << "the add list is not the removal list here";
    EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Added", nullptr, 0), S_FALSE);
}

// Runs `body` on a thread of its own and waits for it. CreateThread rather than std::thread: the 32-bit
// build's runtime (the win32 thread model) has no std::thread.
DWORD WINAPI RunBody(void* body) {
    (*static_cast<const std::function<void()>*>(body))();
    return 0;
}

void OnOwnThread(const std::function<void()>& body) {
    const HANDLE thread = CreateThread(nullptr, 0, RunBody, const_cast<std::function<void()>*>(&body), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

TEST(ShortcutsApartment, ResultsFollowTheCallersApartmentAndLinksAreMadeInEach) {
    CTempInf inf("[KvWine Result]\r\nTool=" + WindowsFile("notepad.exe") + "\r\n[KvWine Empty]\r\n");
    const std::string folder = CommonPrograms() + "\\KvWine Result";
    const std::string empty = CommonPrograms() + "\\KvWine Empty";
    for (const auto& row : kApartmentRows) {
        // On a thread of its own, as a setup program's worker thread would call.
        OnOwnThread([&] {
            if (row.callerInit >= 0) CoInitializeEx(nullptr, static_cast<DWORD>(row.callerInit));
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 1), S_OK) << row.name;
            EXPECT_TRUE(Exists(folder + "\\Tool.lnk")) << row.name;
            // A section without lines still gets its folder.
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 1), row.result) << row.name;
            EXPECT_TRUE(Exists(empty)) << row.name;
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Result", "", 0), row.result) << row.name;
            EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Empty", nullptr, 0), row.result) << row.name;
            if (row.callerInit >= 0) CoUninitialize();
        });
        EXPECT_FALSE(Exists(folder)) << row.name;
        EXPECT_FALSE(Exists(empty)) << row.name;
    }
}

TEST(FolderTemplate, AFolderWhoseParentOrTemplateIsMissingIsNotMade) {
    CTempInf inf("[KvWine Broken]\r\nTool=" + WindowsFile("notepad.exe") + "\r\n");
    EXPECT_TRUE(FAILED(AddRemoveShortcut(inf.Handle(), "KvWine Broken", "<Common Programs>\\KvWine Missing\\Child", 1)));
    EXPECT_FALSE(Exists(CommonPrograms() + "\\KvWine Missing\\Child"));
    for (const char* folderTemplate : kUnexpandableTemplates) {
        EXPECT_TRUE(FAILED(AddRemoveShortcut(inf.Handle(), "KvWine Broken", folderTemplate, 1))) << folderTemplate;
        EXPECT_EQ(AddRemoveShortcut(inf.Handle(), "KvWine Broken", folderTemplate, 0), S_OK) << folderTemplate;
    }
    EXPECT_FALSE(Exists(CommonPrograms() + "\\Kv Broken"));
}

}  // namespace
