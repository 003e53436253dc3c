#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/peimage.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

const char kProductVersion[] = "RC 1.0.33, February 3rd, 2000";

void PutFile(const std::string& windowsPath, const std::vector<unsigned char>& bytes) {
    const std::filesystem::path host = *winsim::HostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<unsigned char> Block(DWORD fileVersionLS = 0) {
    winsim::VersionResourceFields fields;
    fields.fileVersionLS = fileVersionLS;
    fields.strings = {{"CompanyName", "Korvane"}, {"ProductVersion", kProductVersion}};
    return winsim::BuildVersionBlock(fields);
}

}  // namespace

TEST(VersionInfo, APeFileAnswersItsFixedInfoTranslationAndStrings) {
    struct Row {
        winsim::OsVersion version;
        bool pe32Plus;
        DWORD (*size)(DWORD blockLength);
    };
    const Row rows[] = {
        {winsim::OsVersion::NT4, false, [](DWORD n) { return n + n / 2; }},
        {winsim::OsVersion::Win2000, true, [](DWORD n) { return n * 2 + 4; }},
        {winsim::OsVersion::WinXP, false, [](DWORD n) { return n * 2 + 4; }},
    };
    for (const Row& row : rows) {
        winsim::ScopedMachine machine(row.version);
        const auto block = Block(7);
        PutFile(machine->SystemDirectory() + "\\KVGina.dll", winsim::BuildPeImage(block, row.pe32Plus));
        DWORD handle = 1;
        const DWORD size = GetFileVersionInfoSizeA("KVGina.dll", &handle);
        EXPECT_EQ(row.size(static_cast<DWORD>(block.size())), size);
        EXPECT_EQ(0u, handle);
        std::vector<unsigned char> data(size);
        ASSERT_TRUE(GetFileVersionInfoA("KVGina.dll", 0, size, data.data()));
        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
        ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
        EXPECT_EQ(VS_FFI_SIGNATURE, static_cast<VS_FIXEDFILEINFO*>(value)->dwSignature);
        EXPECT_EQ(7u, static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionLS);
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length));
        ASSERT_EQ(4u, length);
        EXPECT_EQ(0x04E40409u, *static_cast<DWORD*>(value));
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\ProductVersion", &value, &length));
        EXPECT_STREQ(kProductVersion, static_cast<char*>(value));
        EXPECT_EQ(sizeof(kProductVersion), length);
        EXPECT_FALSE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904e4\\ProductVersio", &value, &length));
        EXPECT_EQ(0u, length);
    }
}

TEST(VersionInfo, FilesWithoutAVersionFailWithTheVersionsError) {
    const auto good = winsim::BuildPeImage(Block(), false);
    auto otherType = good;
    otherType[0x210] = 6;  // the type directory's one entry names RT_STRING instead
    auto lyingLength = good;
    lyingLength[0x258] = 0xFF;  // the block claims more than the resource holds
    lyingLength[0x259] = 0xFF;
    const std::vector<unsigned char> text = {'h', 'e', 'l', 'l', 'o'};
    struct Row {
        winsim::OsVersion version;
        std::vector<unsigned char> bytes;
        DWORD error;
    };
    using V = winsim::OsVersion;
    const Row rows[] = {
        {V::WinXP, text, ERROR_RESOURCE_DATA_NOT_FOUND},
        {V::Win98, text, ERROR_BAD_FORMAT},
        {V::Win2000, text, ERROR_SUCCESS},
        {V::NT4, winsim::BuildPeImage({}, false), ERROR_RESOURCE_DATA_NOT_FOUND},
        {V::NT4, otherType, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {V::NT4, std::vector<unsigned char>(good.begin(), good.begin() + 0x240), ERROR_RESOURCE_DATA_NOT_FOUND},
        {V::WinXP, std::vector<unsigned char>(good.begin(), good.begin() + 0x100), ERROR_RESOURCE_DATA_NOT_FOUND},
        {V::WinXP, lyingLength, ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Row& row : rows) {
        winsim::ScopedMachine machine(row.version);
        PutFile("C:\\Setup\\KVNP.dll", row.bytes);
        SetLastError(0xDEAD);
        EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\Setup\\KVNP.dll", nullptr));
        EXPECT_EQ(row.error, GetLastError()) << &row - rows;
    }
    winsim::ScopedMachine machine(V::NT4);
    SetLastError(0xDEAD);
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("KVNP.dll", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(VersionInfo, ABareNameIsLookedForWhereLibrariesAre) {
    // Where copies lie (program folder, current, system, Windows directory) and which one is read.
    const std::pair<unsigned, DWORD> rows[] = {{0xF, 0}, {0xE, 1}, {0xC, 2}, {0x8, 3}};
    for (const auto& [present, found] : rows) {
        winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
        machine->SetCurrentDirectory("C:\\Work");
        const std::string folders[] = {"C:\\Setup", "C:\\Work", machine->SystemDirectory(), machine->WindowsDirectory()};
        for (DWORD i = 0; i < 4; ++i)
            if (present & (1u << i)) PutFile(folders[i] + "\\KVNP.dll", winsim::BuildPeImage(Block(i), false));
        std::vector<unsigned char> data(GetFileVersionInfoSizeA("kvnp", nullptr));
        ASSERT_TRUE(GetFileVersionInfoA("kvnp", 0, static_cast<DWORD>(data.size()), data.data()));
        void* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &fixed, &length));
        EXPECT_EQ(found, static_cast<VS_FIXEDFILEINFO*>(fixed)->dwFileVersionLS);
    }
}
