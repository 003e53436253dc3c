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

// Target, arguments and description read back through ReadShellLink in the library's shortcut tests
// on every version; here, what the saved bytes say.
TEST_P(ShellLinkTest, TheNtFamilyWritesUtf16Strings95And98TheAnsiCodePageAndFoldersAreNotOverwritten) {
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Korvane\\kvenroll.exe", "MZ program"));
    const std::string file = "C:\\Program Files\\Enroll.lnk";
    ASSERT_EQ(S_OK, SaveLink(file, "C:\\Program Files\\Korvane\\kvenroll.exe", "/user,\"a b\",c", "Enroll it"));
    EXPECT_EQ(10u, winsim::ReadShellLink(file)->targetSize);
    auto bytes = winsim::ReadWholeFile(file);
    ASSERT_TRUE(bytes && bytes->size() > 0x14);
    const bool unicode = (static_cast<unsigned char>((*bytes)[0x14]) & 0x80) != 0;
    EXPECT_EQ(winsim::IsNtFamily(GetParam()), unicode);
    // Saving over a folder is refused. A missing folder and an invalid name fail the library's own
    // saves (tests/shortcuts).
    EXPECT_EQ(E_ACCESSDENIED, SaveLink("C:\\Program Files", "C:\\x.exe", "", "x"));
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
