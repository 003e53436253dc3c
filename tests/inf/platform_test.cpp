#include "kvisinst/inf/platform.h"

#include "inf/inf_testing.h"

#include <cstring>
#include <string>

using winsim::OsVersion;

TEST(OsClass, FollowsPlatformAndVersion) {
    const struct {
        const char* name;
        winsim::VersionRecord record;
        int osClass;
    } rows[] = {
        {"Windows 95", {4, 0, 950, 1, ""}, OS_WIN95},
        {"Windows 3.x family", {3, 95, 0, 1, ""}, OS_WIN95},
        {"Windows 98", {4, 10, 1998, 1, ""}, OS_WIN98},
        {"later 9x", {5, 0, 0, 1, ""}, OS_WIN98},
        {"NT 3.51", {3, 51, 1057, 2, ""}, OS_UNKNOWN},
        {"NT 4", {4, 0, 1381, 2, "Service Pack 6"}, OS_NT4},
        {"Windows 2000", {5, 0, 2195, 2, ""}, OS_WIN2000},
        {"Windows 7", {6, 1, 7601, 2, ""}, OS_WIN2000},
        {"Win32s", {3, 10, 0, 0, ""}, OS_UNKNOWN},
        {"unknown platform", {5, 0, 0, 3, ""}, OS_UNKNOWN},
    };
    winsim::ScopedMachine machine(OsVersion::Win2000);
    // A failed query is class 0, and the next call asks again rather than remembering it.
    machine->SetVersionQueryFails(true);
    EXPECT_EQ(OS_UNKNOWN, GetOsClass());
    machine->SetVersionQueryFails(false);
    EXPECT_EQ(OS_WIN2000, GetOsClass());
    for (const auto& row : rows) {
        machine->SetRecord(row.record);
        EXPECT_EQ(row.osClass, GetOsClass()) << row.name;
    }
}

namespace {

// A section named here exists even without lines.
const char kInf[] =
    "[DefaultInstall]\r\nCopyFiles=Files\r\n"
    "[DefaultInstall.ntx86]\r\nCopyFiles=Files\r\n"
    "[DefaultInstall.win98]\r\n"
    "[Shortcuts.win95]\r\nx=y\r\n"
    "[Shortcuts.nt5x86]\r\nx=y\r\n";

}  // namespace

TEST(PlatformSection, PicksTheFormOfTheRunningSystemOrThePlainName) {
    const struct {
        OsVersion version;
        const char* base;
        const char* expected;
    } rows[] = {
        // Windows 2000 has no fallback to the NT 4 form.
        {OsVersion::Win2000, "DefaultInstall", "DefaultInstall"},
        {OsVersion::NT4, "DefaultInstall", "DefaultInstall.ntx86"},
        // An empty decorated section still counts as present.
        {OsVersion::Win98, "DefaultInstall", "DefaultInstall.win98"},
        {OsVersion::Win95, "DefaultInstall", "DefaultInstall"},
        // Windows 98 never borrows the 95 form.
        {OsVersion::Win98, "Shortcuts", "Shortcuts"},
        {OsVersion::Win95, "Shortcuts", "Shortcuts.win95"},
        {OsVersion::Win2000, "Shortcuts", "Shortcuts.nt5x86"},
        {OsVersion::NT4, "Shortcuts", "Shortcuts"},
        // Section names are not case-sensitive; the name returned keeps the caller's spelling.
        {OsVersion::NT4, "defaultinstall", "defaultinstall.ntx86"},
        // The plain name comes back even when no such section exists.
        {OsVersion::NT4, "Missing", "Missing"},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        winsim::ScopedMachine machine(row.version);
        const inftest::CTestInf testInf(kInf);
        HINF inf = testInf.Handle();
        char out[kSectionNameSize] = "garbage";
        GetPlatformSection(inf, row.base, out);
        EXPECT_STREQ(row.expected, out) << "row " << i;
        // The same buffer may carry the name in and the result out.
        char same[kSectionNameSize];
        std::strcpy(same, row.base);
        GetPlatformSection(inf, same, same);
        EXPECT_STREQ(row.expected, same) << "row " << i << ", one buffer";
        // A system of unknown class takes the plain name.
        machine->SetVersionQueryFails(true);
        GetPlatformSection(inf, row.base, out);
        EXPECT_STREQ(row.base, out) << "row " << i << ", unknown system";
    }
}

// What an overlong name becomes is the library's choice; writing past the caller's buffer is a fault.
TEST(PlatformSection, AnOverlongNameNeverOverflowsTheBuffer) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    const inftest::CTestInf inf(kInf);
    char out[kSectionNameSize + 8];
    std::memset(out, '#', sizeof out);
    GetPlatformSection(inf.Handle(), std::string(300, 'S').c_str(), out);
    for (size_t i = kSectionNameSize; i < sizeof out; ++i) EXPECT_EQ('#', out[i]) << i;
}
