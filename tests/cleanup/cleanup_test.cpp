// CleanUp per edition identifier over machines with various earlier editions: which lists are walked
// (seen in the trace, one "pDLLs=" line per entry), which registry trees and uninstall entries go.
#include "kvisinst/cleanup/cleanup.h"
#include "cleanup/cleanup_testing.h"
#include "kvisinst/exports.h"
#include "shared/registry_testing.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kKorvane[] = "Software\\Korvane\\";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kUninstallNt[] = "Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall\\";
const char kOrvelEntry[] = "Quillex Integrator Software-Orvel Edition V2.0.2";

// What every machine has: the shared trees (one with depth), the Quillex Pro tree, uninstall entries
// of both earlier editions under both roots, and a neighbour that must stay.
const char kCommonReg[] =
    "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Admin\\Policies\\Enroll]\r\n\"Fingers\"=dword:00000002\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Applications]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Operations\\Log]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\QLMSubsystems\\Reader]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Korvane\\Quillex Pro\\Settings]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvane Toolkit\\Parts]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillex Integrator "
    "Software-Orvel Edition V2.0.2]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\WinZip]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall\\Korvane Toolkit]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\WinNT\\CurrentVersion\\Uninstall\\Quillex Integrator "
    "Software-Orvel Edition V2.0.2]\r\n\r\n";

const char kOrvel201[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.1]\r\n\r\n";
const char kOrvel202[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\Quillex Integrator Software-Orvel Edition V2.0.2]\r\n\r\n";
const char kQuillex101[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro]\r\n\"Version\"=\"1.0.001.000\"\r\n\r\n";
const char kQuillex102[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro]\r\n\"Version\"=\"1.0.002.000\"\r\n"
    "\"ProductPath\"=\"C:\\\\Program Files\\\\Korvane\\\\Quillex Pro\"\r\n\r\n";
const char kQuillex102NoPath[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro]\r\n\"Version\"=\"1.0.002.000\"\r\n\r\n";

enum Lists { kNone = 0, kA = 1, kB = 2, kC = 4 };
enum Removed { kShared = 1, kOrvelEntries = 2, kToolkitEntries = 4, kQuillexProTree = 8 };

struct CleanUpRow {
    const char* edition;
    const char* installed;  // reg text of the earlier editions
    int lists;
    int removed;
    const char* message;  // a message CleanUp must trace, or null
};

const CleanUpRow kRows[] = {
    {"QUILLEXPRO103", "", kNone, kShared, "Installation of QUILLEXPRO103"},
    {"QUILLEXPRO103", kOrvel201, kA, kShared, nullptr},
    {"QUILLEXPRO103", kQuillex101, kA | kB, kShared,
     "Installation of QUILLEXPRO103 on top of an earlier Quillex Pro or Tesmir edition"},
    {"QUILLEXPRO103", kQuillex102, kC, kShared | kQuillexProTree, nullptr},
    {"quillexpro103", kQuillex102, kC, kQuillexProTree, nullptr},
    {"ORVELINTEGRATOR203", "", kNone, 0, "Installation of Orvel Integrator"},
    {"ORVELINTEGRATOR203", kOrvel202, kNone, kShared | kOrvelEntries,
     "Installation of Orvel Integrator on top of Orvel Integrator"},
    {"ORVELSDK203", "", kNone, kShared | kToolkitEntries, nullptr},
    {"ORVELSDK203", kQuillex102NoPath, kNone, kShared | kToolkitEntries | kQuillexProTree, nullptr},
    {nullptr, kQuillex101, kNone, 0, nullptr},
};

using cleanuptest::CountContaining;
using cleanuptest::CountEndingWith;

TEST(CleanUp, EachEditionWalksItsListsAndRemovesItsTrees) {
    for (const auto version : {winsim::OsVersion::Win95, winsim::OsVersion::NT4, winsim::OsVersion::Win2000}) {
        for (const auto& row : kRows) {
            winsim::ScopedMachine machine(version);
            const std::string what = std::string(row.edition ? row.edition : "(null)") + " over " +
                                     (*row.installed ? row.installed : "nothing") + " on " +
                                     winsim::OsVersionName(version);
            std::string error;
            ASSERT_TRUE(
                machine->Reg().LoadRegText(std::string("REGEDIT4\r\n\r\n") + kCommonReg + row.installed, &error))
                << error;
            cleanuptest::TraceOn(*machine);

            std::vector<char> edition;
            if (row.edition) edition.assign(row.edition, row.edition + std::string(row.edition).size() + 1);
            EXPECT_EQ(1, CleanUp(row.edition ? edition.data() : nullptr)) << what;

            const auto lines = tracetest::TraceLines();
            EXPECT_EQ((row.lists & kA) ? 1u : 0u, CountContaining(lines, "pDLLs=KvBio32.dll,")) << what;
            EXPECT_EQ((row.lists & kB) ? 1u : 0u, CountContaining(lines, "pDLLs=KvBioApi.dll,")) << what;
            EXPECT_EQ((row.lists & kC) ? 1u : 0u, CountContaining(lines, "pDLLs=QpViewer.ocx,")) << what;
            const size_t entries =
                ((row.lists & kA) ? 5 : 0) + ((row.lists & kB) ? 31 : 0) + ((row.lists & kC) ? 18 : 0);
            EXPECT_EQ(entries, CountContaining(lines, "pDLLs=")) << what;
            // The lists' directories, as the pending deletions name them.
            std::string scheduled;
            for (const auto& operation : winsim::PendingFileOperations(*machine)) scheduled += operation.source + "|";
            EXPECT_EQ((row.lists & kA) != 0,
                      scheduled.find(machine->SystemDirectory() + "\\KVHOST.exe|") != std::string::npos)
                << what;
            EXPECT_EQ((row.lists & kC) != 0,
                      scheduled.find("C:\\Program Files\\Korvane\\Quillex Pro\\QpSync.dll|") != std::string::npos)
                << what;
            if (row.message) {
                EXPECT_EQ(1u, CountEndingWith(lines, std::string("CleanUp() ") + row.message)) << what;
            }
            EXPECT_EQ(1u, CountEndingWith(lines, "CleanUp() Finished")) << what;

            for (const char* tree : {"Admin", "Applications", "Operations", "QLMSubsystems"})
                EXPECT_EQ(!(row.removed & kShared), HklmKeyExists(std::string(kKorvane) + tree)) << what << tree;
            EXPECT_EQ(!(row.removed & kQuillexProTree), HklmKeyExists(std::string(kKorvane) + "Quillex Pro")) << what;
            for (const char* root : {kUninstall, kUninstallNt}) {
                EXPECT_EQ(!(row.removed & kOrvelEntries), HklmKeyExists(std::string(root) + kOrvelEntry)) << what;
                EXPECT_EQ(!(row.removed & kToolkitEntries), HklmKeyExists(std::string(root) + "Korvane Toolkit"))
                    << what;
            }
            EXPECT_TRUE(HklmKeyExists(std::string(kUninstall) + "WinZip")) << what;
            EXPECT_TRUE(HklmKeyExists(std::string(kKorvane) + "Tracing")) << what;
            EXPECT_EQ(0u, machine->Reg().OpenHandleCount()) << what;
        }
    }
}

TEST(CleanUp, ProductFilesAreMadeWritableUnderTheWaitCursorAndTheCurrentDirectoryComesBack) {
    for (const auto version : {winsim::OsVersion::Win98, winsim::OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        const std::string windows = machine->WindowsDirectory();
        const std::string system = machine->SystemDirectory();
        ASSERT_TRUE(machine->Reg().SetStringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Korvane\\QuillexPro", "ProductPath",
                                                  "C:\\Program Files\\Korvane"));
        // One name of each place, and a neighbour in the system directory that is none of ours.
        const std::vector<std::string> ours = {
            "C:\\Program Files\\Korvane\\QuillexPro.exe",
            system + "\\KvBio32.dll",
            windows + "\\Korvane Screensaver.scr",
            windows + "\\media\\FeedBack.wav",
            system + "\\drivers\\UsbDrv.sys",
            windows + "\\system32\\drivers\\USBkvFP.sys",
            windows + "\\INF\\Korvane.inf",
            windows + "\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\Korvane.cat",
        };
        const std::string neighbour = system + "\\Other.dll";
        for (const auto& file : ours) {
            ASSERT_TRUE(winsim::WriteWholeFile(file, "x")) << file;
            ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY)) << file;
        }
        ASSERT_TRUE(winsim::WriteWholeFile(neighbour, "x"));
        ASSERT_TRUE(SetFileAttributesA(neighbour.c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));

        char other[] = "SOMETHING ELSE";
        EXPECT_EQ(1, CleanUp(other));
        for (const auto& file : ours) EXPECT_EQ(0u, GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY) << file;
        EXPECT_NE(0u, GetFileAttributesA(neighbour.c_str()) & FILE_ATTRIBUTE_READONLY);
        char current[MAX_PATH];
        ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, current));
        EXPECT_STREQ("C:\\", current);
        // The wait cursor while it ran, and the one it replaced (none) again at the end.
        EXPECT_EQ((std::vector<HCURSOR>{winsim::Windows::SystemCursor(32514), nullptr}),
                  machine->Windows().CursorChanges());
    }
}

}  // namespace
