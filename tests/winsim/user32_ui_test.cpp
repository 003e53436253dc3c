// Message boxes: the default button's answer, the scripted one, and the record of each box.
#include <winsim/dialogs.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::OsVersion;

TEST(MessageBox, AnsweredWithTheDefaultButtonOrTheScriptedAnswer) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const std::pair<UINT, int> kRows[] = {{MB_OK, IDOK}, {MB_YESNO | MB_ICONQUESTION, IDYES},
                                          {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
                                          {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY}};
    for (const auto& [type, answer] : kRows) EXPECT_EQ(answer, MessageBoxA(nullptr, "t", "c", type)) << type;
    machine->Dialogs().SetMessageBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "Remove it?", nullptr, MB_YESNO));
    ASSERT_EQ(std::size(kRows) + 1, machine->Dialogs().MessageBoxes().size());
    const auto& last = machine->Dialogs().MessageBoxes().back();
    EXPECT_EQ("Remove it?", last.text);
    EXPECT_EQ("Error", last.caption);
    EXPECT_EQ(IDNO, last.answer);
}

}  // namespace
