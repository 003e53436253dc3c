// The system questions on a real Windows (Wine): domain-controller detection against the system's
// NETAPI32, the service pack against the system's CSD text, and the release-1.0 check against
// libraries with version resources put where the system's search finds them.
#include "kvisinst/exports.h"
#include "shared/proc.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    return path.substr(0, path.find_last_of("\\/") + 1);
}

// ---- IsDomainController ----

// The server type of the first level of 102 and 101 that NETAPI32 answers for the local machine.
// Wine 8 answers 101 (type SV_TYPE_NT, 0x1000) but not 102 (ERROR_INVALID_LEVEL, where a Windows NT
// workstation answers 102 too), so the library's fallback to 101 is what runs; the type field is
// the same in both layouts.
TEST(IsDomainControllerTest, AnswersFromTheServersTypeBits) {
    HMODULE netapi = LoadLibraryA("NETAPI32.dll");
    ASSERT_NE(netapi, nullptr);
    using GetInfo = DWORD(WINAPI*)(LPWSTR, DWORD, LPBYTE*);
    using Free = DWORD(WINAPI*)(LPVOID);
    const auto getInfo = ProcAs<GetInfo>(GetProcAddress(netapi, "NetServerGetInfo"));
    const auto free = ProcAs<Free>(GetProcAddress(netapi, "NetApiBufferFree"));
    ASSERT_TRUE(getInfo && free);
    LPBYTE record = nullptr;
    DWORD status = getInfo(nullptr, 102, &record);
    if (status != 0) status = getInfo(nullptr, 101, &record);
    ASSERT_EQ(status, 0u);
    // SERVER_INFO_101's type: after the platform id, the name and the two version numbers.
    struct ServerInfo101 {
        DWORD platformId;
        LPWSTR name;
        DWORD versionMajor;
        DWORD versionMinor;
        DWORD type;
    };
    const DWORD type = reinterpret_cast<ServerInfo101*>(record)->type;
    free(record);

    EXPECT_EQ(type & 0x18, 0u) << "Wine's machine is no domain controller";
    EXPECT_EQ(IsDomainController(), 0);
}

// ---- GetServicePackNumber ----

// The number the CSD text names: the decimal after "Service Pack", as atol reads it; 0 without one.
int ServicePackOf(const char* csdVersion) {
    const char* at = std::strstr(csdVersion, "Service Pack");
    return at ? std::atoi(at + std::strlen("Service Pack")) : 0;
}

// KVTEST_SERVICE_PACK is set for the runs below, under another Windows version: the number the
// version's CSD text must name.
const char kServicePackVariable[] = "KVTEST_SERVICE_PACK";

TEST(GetServicePackNumberTest, ReadsTheSystemsServicePackText) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(GetServicePackNumber(), ServicePackOf(info.szCSDVersion)) << '"' << info.szCSDVersion << '"';
    if (const char* expected = std::getenv(kServicePackVariable)) {
        EXPECT_EQ(ServicePackOf(info.szCSDVersion), std::atoi(expected)) << '"' << info.szCSDVersion << '"';
    }
}

// The test above again in a copy of this program that Wine runs as another Windows version
// (HKCU\Software\Wine\AppDefaults\<program>\Version): NT 4's "Service Pack 6a" is read as 6,
// Windows 10's empty text and Windows 98's letter give 0. (The prefix itself is Windows 7's, whose
// "Service Pack 1" the test above reads.)
TEST(GetServicePackNumberTest, ReadsOtherVersionsServicePackTexts) {
    if (std::getenv(kServicePackVariable)) GTEST_SKIP() << "the run under another version";
    const std::string copy = ProgramFolder() + "kvtestsp.exe";
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), copy.c_str(), FALSE));
    const char appDefaults[] = "Software\\Wine\\AppDefaults\\kvtestsp.exe";
    const struct {
        const char* version;
        const char* servicePack;
    } rows[] = {{"nt40", "6"}, {"win7", "1"}, {"win10", "0"}, {"win98", "0"}};
    for (const auto& row : rows) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(row.version),
                       static_cast<DWORD>(std::strlen(row.version) + 1));
        RegCloseKey(key);
        SetEnvironmentVariableA(kServicePackVariable, row.servicePack);
        std::string commandLine =
            "\"" + copy + "\" --gtest_brief=1 --gtest_filter=GetServicePackNumberTest.ReadsTheSystems*";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(exitCode, 0u) << row.version;
    }
    SetEnvironmentVariableA(kServicePackVariable, nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, appDefaults);
    DeleteFileA(copy.c_str());
}

// ---- IsVer100 ----

// Built beside this program: release 1.0's product version exactly, and with a trailing space.
const char kExact[] = "kvtestver_exact.dll";
const char kSpaced[] = "kvtestver_spaced.dll";

class IsVer100Test : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }

    // KVGina.dll and KVNP.dll in the program's folder, the first place the search for a bare name
    // looks; null for a file that is not there.
    void Place(const char* gina, const char* networkProvider) {
        Remove();
        for (const auto& file : {std::make_pair(gina, "KVGina.dll"), std::make_pair(networkProvider, "KVNP.dll")})
            if (file.first) {
                ASSERT_TRUE(
                    CopyFileA((ProgramFolder() + file.first).c_str(), (ProgramFolder() + file.second).c_str(), FALSE))
                    << file.second;
            }
    }
    static void Remove() {
        DeleteFileA((ProgramFolder() + "KVGina.dll").c_str());
        DeleteFileA((ProgramFolder() + "KVNP.dll").c_str());
    }
};

TEST_F(IsVer100Test, FindsReleaseOnesProductVersionInEitherFile) {
    const struct {
        const char* gina;
        const char* networkProvider;
        int expected;
    } rows[] = {
        {nullptr, nullptr, 0},
        {kSpaced, kExact, 1},  // the second file matches
        {kExact, kSpaced, 1},  // a later file does not take a match back
        {nullptr, kSpaced, 0},
    };
    for (const auto& row : rows) {
        Place(row.gina, row.networkProvider);
        EXPECT_EQ(IsVer100(), row.expected)
            << (row.gina ? row.gina : "-") << ", " << (row.networkProvider ? row.networkProvider : "-");
    }
}

}  // namespace
