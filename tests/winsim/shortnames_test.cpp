// The machine's short names: how they are formed, that they are kept across a machine folder's
// save and load, and that they follow a file that is moved.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shortnames.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::OsVersion;

TEST(ShortNames, FormedFromTheLongNameWithTheLowestFreeNumber) {
    struct Row {
        const char* longName;
        const char* shortName;
    };
    // In this order, in one folder: each row sees the ones before it.
    const Row kRows[] = {
        {"Program Files", "PROGRA~1"},
        {"setup.exe", "setup.exe"},         // valid 8.3 already, spelled as on disk
        {"a b+c;d.html", "ABCD~1.HTM"},     // blanks and characters 8.3 may not hold go
        {"x.y.z", "XY~1.Z"},                // the extension is after the last dot
        {"PROGRA~2", "PROGRA~2"},           // a real file of that name ...
        {"Programs and more", "PROGRA~3"},  // ... takes its number from the next one
        {"Quill 1.txt", "QUILL1~1.TXT"},
    };
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (const Row& row : kRows) ASSERT_TRUE(winsim::WriteWholeFile(std::string("C:\\Dir\\") + row.longName, "x"));
    for (const Row& row : kRows) EXPECT_EQ(row.shortName, machine->ShortNames().ShortNameOf("C:\\Dir", row.longName));
    // Past nine the name gives up a character for the number.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(winsim::WriteWholeFile("C:\\Many\\Long name " + std::to_string(i), "x"));
    for (int i = 0; i < 10; ++i) machine->ShortNames().ShortNameOf("C:\\Many", "Long name " + std::to_string(i));
    EXPECT_EQ("LONGN~10", machine->ShortNames().ShortNameOf("C:\\Many", "Long name 9"));
}

// Another machine (the next kvsim run) with the siblings asked in the other order gives each file
// the name it had.
TEST(ShortNames, KeptAcrossSaveAndLoadAndDamagedTextNamesTheLine) {
    std::string saved;
    {
        winsim::ScopedMachine machine(OsVersion::NT4);
        ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Long Name One.txt", "1"));
        EXPECT_EQ("LONGNA~1.TXT", machine->ShortNames().ShortNameOf("C:\\Program Files", "Long Name One.txt"));
        saved = machine->ShortNames().SaveText();
    }
    winsim::ScopedMachine machine(OsVersion::NT4);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Long Name One.txt", "1"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Long Name Two.txt", "2"));
    std::string error;
    ASSERT_TRUE(machine->ShortNames().LoadText(saved, &error)) << error;
    EXPECT_EQ("LONGNA~2.TXT", machine->ShortNames().ShortNameOf("C:\\Program Files", "Long Name Two.txt"));
    EXPECT_EQ("LONGNA~1.TXT", machine->ShortNames().ShortNameOf("C:\\program files", "LONG NAME ONE.TXT"));
    // Damaged text names its line.
    const std::pair<const char*, const char*> kDamaged[] = {
        {"[Program Files]\nPROGRA~1=x\n", "line 1: "},
        {"[C:\\Program Files]\nNOT SHORT=Not short\n", "line 2: "},
        {"[C:\\Program Files]\nPROGRA~1=\n", "line 2: "},
    };
    for (const auto& [text, where] : kDamaged) {
        EXPECT_FALSE(machine->ShortNames().LoadText(text, &error)) << text;
        EXPECT_EQ(0u, error.rfind(where, 0)) << error;
    }
}

// What lies below a moved folder keeps its names; a file keeps its own when it keeps its long name,
// and gets a new one for a new long name. Paths that are not there fail.
TEST(ShortNames, FollowAFileThatIsMovedAndMissingPathsFail) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Long Folder\\Long File Name.dll", "x"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Long Folder\\Long File Number.dll", "x"));
    ASSERT_TRUE(CreateDirectoryA("C:\\Other", nullptr));
    char path[MAX_PATH];
    GetShortPathNameA("C:\\Long Folder\\Long File Number.dll", path, sizeof path);
    EXPECT_STREQ("C:\\LONGFO~1\\LONGFI~1.DLL", path);
    GetShortPathNameA("C:\\Long Folder\\Long File Name.dll", path, sizeof path);
    EXPECT_STREQ("C:\\LONGFO~1\\LONGFI~2.DLL", path);
    // Too small a buffer: the size needed, the NUL counted, and the buffer untouched.
    char small[8] = "keep";
    EXPECT_EQ(25u, GetShortPathNameA("C:\\Long Folder\\Long File Name.dll", small, sizeof small));
    EXPECT_STREQ("keep", small);
    ASSERT_TRUE(MoveFileExA("C:\\LONGFO~1", "C:\\Longer Folder", 0));
    GetShortPathNameA("C:\\Longer Folder\\Long File Name.dll", path, sizeof path);
    EXPECT_STREQ("C:\\LONGER~1\\LONGFI~2.DLL", path);
    ASSERT_TRUE(MoveFileExA("C:\\LONGER~1\\LONGFI~2.DLL", "C:\\Other\\Long File Name.dll", 0));
    GetShortPathNameA("C:\\Other\\Long File Name.dll", path, sizeof path);
    EXPECT_STREQ("C:\\Other\\LONGFI~2.DLL", path);
    ASSERT_TRUE(MoveFileExA("C:\\Other\\LONGFI~2.DLL", "C:\\Other\\Renamed Library.dll", 0));
    GetShortPathNameA("C:\\Other\\Renamed Library.dll", path, sizeof path);
    EXPECT_STREQ("C:\\Other\\RENAME~1.DLL", path);
    // Missing paths fail as Windows fails them.
    const std::pair<const char*, DWORD> kMissing[] = {
        {"C:\\Longer Folder\\missing file.txt", ERROR_FILE_NOT_FOUND},
        {"C:\\Missing Folder\\x.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\LONGER~9\\x.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [missing, error] : kMissing) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(0u, GetShortPathNameA(missing, path, sizeof path)) << missing;
        EXPECT_EQ(error, GetLastError()) << missing;
    }
}

}  // namespace
