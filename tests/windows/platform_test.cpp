// OS class and platform section names on a real NT system (Wine reports a Windows of the NT family
// after Windows 2000), with INF files read by the system's SetupAPI.
#include "kvisinst/inf/platform.h"

#include "windows/temp_inf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(OsClass, WineIsWindows2000OrLater) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    ASSERT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    ASSERT_GT(info.dwMajorVersion, 4u) << "this Wine prefix claims an NT older than Windows 2000";
    EXPECT_EQ(GetOsClass(), OS_WIN2000);
}

struct SectionCase {
    const char* name;
    const char* sections;  // the INF after its [Version] section
    const char* base;
    const char* expected;
};

const SectionCase kSectionCases[] = {
    {"the nt5x86 form is preferred to every other",
     "[DefaultInstall]\r\nA=1\r\n[DefaultInstall.win95]\r\nA=1\r\n[DefaultInstall.win98]\r\nA=1\r\n"
     "[DefaultInstall.ntx86]\r\nA=1\r\n[DefaultInstall.nt5x86]\r\nA=1\r\n",
     "DefaultInstall", "DefaultInstall.nt5x86"},
    {"no fallback to the ntx86 form", "[DefaultInstall]\r\nA=1\r\n[DefaultInstall.ntx86]\r\nA=1\r\n",
     "DefaultInstall", "DefaultInstall"},
    {"the Windows 95/98 forms are not for NT",
     "[DefaultInstall.win95]\r\nA=1\r\n[DefaultInstall.win98]\r\nA=1\r\n", "DefaultInstall", "DefaultInstall"},
    {"an empty nt5x86 section still counts", "[DefaultInstall]\r\nA=1\r\n[DefaultInstall.nt5x86]\r\n",
     "DefaultInstall", "DefaultInstall.nt5x86"},
    {"a section with only comments still counts", "[Services.nt5x86]\r\n; nothing yet\r\n", "Services",
     "Services.nt5x86"},
    {"section names match without regard to case", "[defaultinstall.NT5X86]\r\nA=1\r\n", "DefaultInstall",
     "DefaultInstall.nt5x86"},
    {"neither form present gives the base name", "[Other.nt5x86]\r\nA=1\r\n", "DefaultInstall",
     "DefaultInstall"},
};

// Each row twice: into a separate buffer, and with the base name's buffer as the output.
TEST(PlatformSection, SeparateAndSameBuffer) {
    for (size_t i = 0; i < sizeof kSectionCases / sizeof kSectionCases[0]; ++i) {
        const SectionCase& row = kSectionCases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << row.name);
        CTempInf inf(row.sections);
        if (inf.Handle() == INVALID_HANDLE_VALUE) {
            continue;
        }
        char out[kSectionNameSize];
        std::memset(out, 'x', sizeof out);
        GetPlatformSection(inf.Handle(), row.base, out);
        EXPECT_STREQ(out, row.expected);

        char name[kSectionNameSize] = {};
        std::strcpy(name, row.base);
        GetPlatformSection(inf.Handle(), name, name);
        EXPECT_STREQ(name, row.expected);
    }
}

}  // namespace
