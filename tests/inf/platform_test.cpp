#include "kvisinst/inf/platform.h"

#include <winsim/files.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using winsim::OsVersion;

namespace {

struct VersionCase {
    const char* name;
    winsim::VersionRecord record;
    int osClass;
};

const VersionCase kVersionCases[] = {
    {"Windows 95", {4, 0, 950, 1, ""}, OS_WIN95},
    {"Windows 95 OSR2", {4, 0, 1111, 1, " B "}, OS_WIN95},
    {"Windows 3.x family", {3, 95, 0, 1, ""}, OS_WIN95},
    {"Windows 98", {4, 10, 1998, 1, ""}, OS_WIN98},
    {"Windows ME", {4, 90, 3000, 1, ""}, OS_WIN98},
    {"later 9x", {5, 0, 0, 1, ""}, OS_WIN98},
    {"NT 3.51", {3, 51, 1057, 2, ""}, OS_UNKNOWN},
    {"NT 4", {4, 0, 1381, 2, "Service Pack 6"}, OS_NT4},
    {"Windows 2000", {5, 0, 2195, 2, ""}, OS_WIN2000},
    {"Windows 7", {6, 1, 7601, 2, ""}, OS_WIN2000},
    {"Win32s", {3, 10, 0, 0, ""}, OS_UNKNOWN},
    {"unknown platform", {5, 0, 0, 3, ""}, OS_UNKNOWN},
};

}  // namespace

TEST(OsClass, FollowsPlatformAndVersion) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (const auto& row : kVersionCases) {
        machine->SetRecord(row.record);
        EXPECT_EQ(row.osClass, GetOsClass()) << row.name;
    }
}

TEST(OsClass, EachSimulatedVersion) {
    const std::pair<OsVersion, int> rows[] = {{OsVersion::Win95, OS_WIN95},
                                              {OsVersion::Win98, OS_WIN98},
                                              {OsVersion::NT4, OS_NT4},
                                              {OsVersion::Win2000, OS_WIN2000},
                                              {OsVersion::WinXP, OS_WIN2000}};
    for (const auto& [version, osClass] : rows) {
        winsim::ScopedMachine machine(version);
        EXPECT_EQ(osClass, GetOsClass()) << winsim::OsVersionName(version);
    }
}

TEST(OsClass, FailedVersionQueryIsUnknownAndAskedAgainEachTime) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    machine->SetVersionQueryFails(true);
    EXPECT_EQ(OS_UNKNOWN, GetOsClass());
    machine->SetVersionQueryFails(false);
    EXPECT_EQ(OS_NT4, GetOsClass());
}

namespace {

// The sections an INF declares, by name; a section named here exists even without lines.
const char kInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "[DefaultInstall]\r\n"
    "CopyFiles=Files\r\n"
    "[DefaultInstall.ntx86]\r\n"
    "CopyFiles=Files\r\n"
    "[DefaultInstall.win98]\r\n"
    "[Shortcuts.win95]\r\n"
    "x=y\r\n"
    "[Shortcuts.nt5x86]\r\n"
    "x=y\r\n"
    "[OnlyPlain]\r\n"
    "x=y\r\n";

struct SectionCase {
    OsVersion version;
    const char* base;
    const char* expected;
};

const SectionCase kSectionCases[] = {
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
    {OsVersion::WinXP, "Shortcuts", "Shortcuts.nt5x86"},
    {OsVersion::NT4, "Shortcuts", "Shortcuts"},
    // Section names are not case-sensitive; the name returned keeps the caller's spelling.
    {OsVersion::NT4, "defaultinstall", "defaultinstall.ntx86"},
    // The plain name comes back even when no such section exists.
    {OsVersion::NT4, "Missing", "Missing"},
};

HINF OpenTestInf() {
    EXPECT_TRUE(winsim::WriteWholeFile("C:\\setup\\product.inf", kInf));
    HINF inf = SetupOpenInfFileA("C:\\setup\\product.inf", nullptr, INF_STYLE_WIN4, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, inf);
    return inf;
}

}  // namespace

TEST(PlatformSection, PicksTheFormOfTheRunningSystemOrThePlainName) {
    for (size_t i = 0; i < std::size(kSectionCases); ++i) {
        const auto& row = kSectionCases[i];
        winsim::ScopedMachine machine(row.version);
        HINF inf = OpenTestInf();
        char out[kSectionNameSize] = "garbage";
        GetPlatformSection(inf, row.base, out);
        EXPECT_STREQ(row.expected, out) << "row " << i << " on " << winsim::OsVersionName(row.version);
        SetupCloseInfFile(inf);
    }
}

TEST(PlatformSection, SameBufferForNameAndResult) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenTestInf();
    char name[kSectionNameSize] = "DefaultInstall";
    GetPlatformSection(inf, name, name);
    EXPECT_STREQ("DefaultInstall", name);
    char shortcuts[kSectionNameSize] = "Shortcuts";
    GetPlatformSection(inf, shortcuts, shortcuts);
    EXPECT_STREQ("Shortcuts.nt5x86", shortcuts);
    SetupCloseInfFile(inf);
}

TEST(PlatformSection, UnknownSystemUsesThePlainName) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenTestInf();
    machine->SetVersionQueryFails(true);
    char out[kSectionNameSize];
    GetPlatformSection(inf, "Shortcuts", out);
    EXPECT_STREQ("Shortcuts", out);
    SetupCloseInfFile(inf);
}

TEST(PlatformSection, OverlongNamesAreCutNeverOverflowed) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    HINF inf = OpenTestInf();
    const std::string base(300, 'S');
    char out[kSectionNameSize + 8];
    std::memset(out, '#', sizeof out);
    GetPlatformSection(inf, base.c_str(), out);
    EXPECT_EQ(std::string(kSectionNameSize - 1, 'S'), out);
    for (size_t i = kSectionNameSize; i < sizeof out; ++i) EXPECT_EQ('#', out[i]);

    // A name that fills the buffer leaves no room for a suffix.
    const std::string full(kSectionNameSize - 1, 'T');
    GetPlatformSection(inf, full.c_str(), out);
    EXPECT_EQ(full, out);
    SetupCloseInfFile(inf);
}
