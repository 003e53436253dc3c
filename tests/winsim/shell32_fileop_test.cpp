// SHFileOperationA's deletion, and the error box the shell shows for a name that is not there.
#include <winsim/dialogs.h>
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

using winsim::OsVersion;

TEST(FileOperation, DeleteTakesFilesAndFoldersStopsAtAMissingNameAndShowsItsBoxUnlessFofNoErrorUi) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Links\\One.lnk", "x"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Links\\Two.lnk", "x"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Tree\\sub\\deep.txt", "x"));

    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    op.fAnyOperationsAborted = TRUE;
    op.pFrom = "C:\\Links\\One.lnk\0c:\\tree\0";
    EXPECT_EQ(0, SHFileOperationA(&op));
    EXPECT_FALSE(op.fAnyOperationsAborted);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Links\\One.lnk"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Tree"));

    op.pFrom = "C:\\Links\\One.lnk\0C:\\Links\\Two.lnk\0";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, SHFileOperationA(&op));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Links\\Two.lnk")) << "stops at the missing name";
    op.pFrom = "C:\\Gone\\One.lnk\0";
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, SHFileOperationA(&op));
    EXPECT_TRUE(machine->Dialogs().MessageBoxes().empty()) << "FOF_NOERRORUI shows nothing";

    // Without it, as the library deletes its links, a missing name brings up the shell's error box.
    op.hwnd = reinterpret_cast<HWND>(0x1234);
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
    EXPECT_NE(0, SHFileOperationA(&op));
    const auto& boxes = machine->Dialogs().MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(op.hwnd, boxes[0].owner);
    EXPECT_EQ("Error Deleting File", boxes[0].caption);
    EXPECT_EQ(0u, boxes[0].text.find("Cannot delete file")) << boxes[0].text;
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONSTOP), boxes[0].type);
}
