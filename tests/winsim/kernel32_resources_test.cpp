// The library's string table as the simulated loader serves it: the same compiled resources the DLL
// carries, found by language as FindResourceEx finds them.
#include "kvisinst/common/module.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>

// The texts of each language are checked in the built DLL (tests/windows); here, the lookup.
TEST(Resources, FindResourceExByLanguageAndLoadStringFollowsTheUserLanguage) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win98);
    SetLastError(0);
    EXPECT_EQ(nullptr, FindResourceExA(LibraryModule(), RT_STRING, MAKEINTRESOURCEA(1), 1049));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND), GetLastError());
    HRSRC version = FindResourceExA(LibraryModule(), RT_VERSION, MAKEINTRESOURCEA(1), 1033);
    ASSERT_NE(nullptr, version);
    EXPECT_GT(SizeofResource(LibraryModule(), version), 100u);

    char text[512];
    machine->SetDefaultLanguage(1031);
    EXPECT_EQ(8, LoadStringA(LibraryModule(), 1, text, sizeof text));
    EXPECT_STREQ("Warnung:", text);
    // German text in code page 1252: "können".
    LoadStringA(LibraryModule(), 2, text, sizeof text);
    EXPECT_NE(nullptr, std::strstr(text, "k\xf6nnen"));

    // A language the table lacks falls back to English.
    machine->SetDefaultLanguage(1049);
    LoadStringA(LibraryModule(), 1, text, sizeof text);
    EXPECT_STREQ("Warning:", text);

    // Cut to the buffer and terminated; an id that is not there gives 0 and an empty string.
    char small[5];
    EXPECT_EQ(4, LoadStringA(LibraryModule(), 1, small, sizeof small));
    EXPECT_STREQ("Warn", small);
    EXPECT_EQ(0, LoadStringA(LibraryModule(), 3, text, sizeof text));
    EXPECT_STREQ("", text);
}
