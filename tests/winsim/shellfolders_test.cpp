// The shell folders a fresh machine of each version has: registry values and folders on disk.
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/shellfolders.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

using winsim::OsVersion;

namespace {

constexpr char kUserKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kMachineKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct FolderCase {
    OsVersion version;
    const char* programs;
    const char* commonPrograms;  // nullptr: the version has no All Users folders
};

const FolderCase kCases[] = {
    {OsVersion::Win95, "C:\\WINDOWS\\Start Menu\\Programs", nullptr},
    {OsVersion::Win98, "C:\\WINDOWS\\Start Menu\\Programs", "C:\\WINDOWS\\All Users\\Start Menu\\Programs"},
    {OsVersion::NT4, "C:\\WINNT\\Profiles\\Administrator\\Start Menu\\Programs",
     "C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs"},
    {OsVersion::Win2000, "C:\\Documents and Settings\\Administrator\\Start Menu\\Programs",
     "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
    {OsVersion::WinXP, "C:\\Documents and Settings\\Administrator\\Start Menu\\Programs",
     "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
};

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ShellFolders, EachVersionHasItsProgramsFoldersInRegistryAndOnDisk) {
    for (const auto& row : kCases) {
        const char* name = winsim::OsVersionName(row.version);
        winsim::ScopedMachine machine(row.version);
        EXPECT_EQ(row.programs, machine->Reg().StringValue(kUserKey, "Programs").value_or("(none)")) << name;
        EXPECT_TRUE(IsFolder(row.programs)) << name;
        auto common = machine->Reg().StringValue(kMachineKey, "Common Programs");
        if (row.commonPrograms) {
            EXPECT_EQ(row.commonPrograms, common.value_or("(none)")) << name;
            EXPECT_TRUE(IsFolder(row.commonPrograms)) << name;
            EXPECT_EQ(row.commonPrograms, winsim::DefaultShellFolder(row.version, "Common Programs").value_or(""));
        } else {
            EXPECT_FALSE(common) << name;
            EXPECT_FALSE(winsim::DefaultShellFolder(row.version, "Common Programs")) << name;
        }
    }
}

}  // namespace
