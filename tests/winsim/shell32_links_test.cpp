// winsim's shell link object: what it saves, in the published link format that other tools read,
// and how a save fails.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/shelllink.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using winsim::OsVersion;

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Makes a link through the object's interfaces, as a client of the shell does.
HRESULT SaveLink(const std::string& file, const char* target, const char* arguments, const char* description) {
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(hr)) hr = link->SetPath(target);
    if (SUCCEEDED(hr)) hr = link->SetArguments(arguments);
    if (SUCCEEDED(hr)) hr = link->SetDescription(description);
    if (SUCCEEDED(hr)) hr = persist->Save(Wide(file).c_str(), TRUE);
    if (persist) persist->Release();
    if (link) link->Release();
    return hr;
}

class ShellLinkTest : public testing::TestWithParam<OsVersion> {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitialize(nullptr)); }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(0u, winsim::LiveComObjects());
    }
    winsim::ScopedMachine machine_{GetParam()};
};

TEST_P(ShellLinkTest, SavedLinkReadsBackThroughFileAndObject) {
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Korvane\\kvenroll.exe", "MZ program"));
    const std::string file = "C:\\Program Files\\Enroll.lnk";
    ASSERT_EQ(S_OK, SaveLink(file, "C:\\Program Files\\Korvane\\kvenroll.exe", "/user,\"a b\",c", "Enroll it"));

    auto saved = winsim::ReadShellLink(file);
    ASSERT_TRUE(saved);
    EXPECT_EQ("C:\\Program Files\\Korvane\\kvenroll.exe", saved->target);
    EXPECT_EQ("/user,\"a b\",c", saved->arguments);
    EXPECT_EQ("Enroll it", saved->description);
    EXPECT_EQ(10u, saved->targetSize);

    // The NT family's shell writes its strings in UTF-16, Windows 95/98's in the ANSI code page.
    auto bytes = winsim::ReadWholeFile(file);
    ASSERT_TRUE(bytes && bytes->size() > 0x14);
    const bool unicode = (static_cast<unsigned char>((*bytes)[0x14]) & 0x80) != 0;
    EXPECT_EQ(winsim::IsNtFamily(GetParam()), unicode);
}

TEST_P(ShellLinkTest, SaveFailsWithoutItsFolderOrWithAnInvalidName) {
    const std::pair<const char*, HRESULT> rows[] = {
        {"C:\\No Such Folder\\Tool.lnk", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {"C:\\Program Files\\Bad|Name.lnk", HRESULT_FROM_WIN32(ERROR_INVALID_NAME)},
        {"C:\\Program Files", E_ACCESSDENIED},
    };
    for (const auto& [file, expected] : rows) EXPECT_EQ(expected, SaveLink(file, "C:\\x.exe", "", "x")) << file;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\No Such Folder")) << "saving never makes a folder";
}

TEST_P(ShellLinkTest, LnkinfoReadsTargetArgumentsAndDescription) {
    if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "lnkinfo (liblnk-utils) not installed";
    const std::string file = "C:\\Reader.lnk";
    ASSERT_EQ(S_OK, SaveLink(file, "C:\\Program Files\\Korvane\\kvhost.exe", "/settings,x", "Quillex Pro Settings"));
    auto host = winsim::HostPath(file);
    ASSERT_TRUE(host);
    FILE* pipe = popen(("lnkinfo '" + *host + "' 2>&1").c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string output;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    EXPECT_EQ(0, pclose(pipe)) << output;
    EXPECT_NE(std::string::npos, output.find("C:\\Program Files\\Korvane\\kvhost.exe")) << output;
    EXPECT_NE(std::string::npos, output.find("/settings,x")) << output;
    EXPECT_NE(std::string::npos, output.find("Quillex Pro Settings")) << output;
    EXPECT_EQ(std::string::npos, output.find("Unable")) << output;
}

INSTANTIATE_TEST_SUITE_P(EachVersion, ShellLinkTest,
                         testing::Values(OsVersion::Win95, OsVersion::Win98, OsVersion::NT4, OsVersion::Win2000),
                         [](const auto& info) { return std::string("Win") + winsim::OsVersionName(info.param); });

}  // namespace
