// The shell folders a fresh machine of each version has. That the folders exist on disk, and that the
// registry agrees with DefaultShellFolder, the library's shortcuts prove on every version.
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

TEST(ShellFolders, EachVersionHasItsProgramsFolders) {
    for (const auto& row : kCases) {
        const char* name = winsim::OsVersionName(row.version);
        winsim::ScopedMachine machine(row.version);
        EXPECT_EQ(row.programs, machine->Reg().StringValue(kUserKey, "Programs").value_or("(none)")) << name;
        EXPECT_EQ(row.commonPrograms ? row.commonPrograms : "(none)",
                  machine->Reg().StringValue(kMachineKey, "Common Programs").value_or("(none)"))
            << name;
    }
}

}  // namespace
