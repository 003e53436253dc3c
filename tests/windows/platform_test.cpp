// OS class and platform section names on a real NT system (Wine reports a Windows of the NT family
// after Windows 2000), with INF files read by the system's SetupAPI.
#include "kvisinst/inf/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// An INF file in the temporary folder, open through SetupOpenInfFileA for the object's lifetime and
// deleted afterwards.
class CTempInf {
public:
    explicit CTempInf(const std::string& sections) {
        char folder[MAX_PATH] = {};
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "kvi", 0, path_) == 0) {
            ADD_FAILURE() << "no temporary file name, error " << GetLastError();
            return;
        }
        const std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n" + sections;
        HANDLE file = CreateFileA(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ADD_FAILURE() << "cannot create " << path_ << ", error " << GetLastError();
            return;
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok || written != text.size()) {
            ADD_FAILURE() << "cannot write " << path_;
            return;
        }
        UINT errorLine = 0;
        inf_ = SetupOpenInfFileA(path_, nullptr, INF_STYLE_WIN4, &errorLine);
        if (inf_ == INVALID_HANDLE_VALUE) {
            ADD_FAILURE() << "SetupOpenInfFileA failed at line " << errorLine << ", error " << GetLastError();
        }
    }
    ~CTempInf() {
        if (inf_ != INVALID_HANDLE_VALUE) {
            SetupCloseInfFile(inf_);
        }
        if (path_[0] != '\0') {
            DeleteFileA(path_);
        }
    }
    CTempInf(const CTempInf&) = delete;
    CTempInf& operator=(const CTempInf&) = delete;

    HINF Handle() const { return inf_; }

private:
    char path_[MAX_PATH] = {};
    HINF inf_ = INVALID_HANDLE_VALUE;
};

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

TEST(PlatformSection, SeparateOutputBuffer) {
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
    }
}

TEST(PlatformSection, SameBufferForBaseAndOutput) {
    for (size_t i = 0; i < sizeof kSectionCases / sizeof kSectionCases[0]; ++i) {
        const SectionCase& row = kSectionCases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << row.name);
        CTempInf inf(row.sections);
        if (inf.Handle() == INVALID_HANDLE_VALUE) {
            continue;
        }
        char name[kSectionNameSize] = {};
        std::strcpy(name, row.base);
        GetPlatformSection(inf.Handle(), name, name);
        EXPECT_STREQ(name, row.expected);
    }
}

}  // namespace
