// The private-space companion: its program files through CleanUpPS, its authentication library
// through the log-file path of its uninstall entry.
#include "cleanup/cleanup_testing.h"
#include "kvisinst/common/module.h"
#include "kvisinst/exports.h"

#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>

#include <gtest/gtest.h>

#include <strings.h>

#include <string>

namespace {

std::string Scheduled(winsim::Machine& machine) {
    std::string scheduled;
    for (const auto& operation : winsim::PendingFileOperations(machine)) scheduled += operation.source + "|";
    return scheduled;
}

TEST(ClearPrivateSpace, SchedulesTheLibraryBesideTheLogFileOfTheUninstallCommand) {
    const struct {
        const char* command;   // null: no uninstall entry
        const char* expected;  // the path traced and scheduled; null: none
    } rows[] = {
        {"C:\\PS\\uninst.exe -f\"D:\\dir\\log.txt\"", "D:\\dir\\kvauthsv.dll"},
        {"uninst.exe -a -fD:/dir/log.txt -b", "D:/dir/kvauthsv.dll"},
        {"C:\\PS\\uninst.exe", nullptr},
        {"C:\\PS\\uninst.exe -f", nullptr},
        {"C:\\PS\\uninst.exe -f\"", nullptr},
        {"C:\\PS\\uninst.exe -f\"log.txt\"", nullptr},  // no folder
        {nullptr, nullptr},
    };
    for (const auto version : {winsim::OsVersion::Win98, winsim::OsVersion::Win2000}) {
        for (const auto& row : rows) {
            winsim::ScopedMachine machine(version);
            ASSERT_TRUE(winsim::WriteWholeFile("D:\\dir\\kvauthsv.dll", "MZ"));
            const std::string entry =
                "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillex Private Space";
            if (row.command) machine->Reg().SetStringValue(entry, "UninstallString", row.command);
            cleanuptest::TraceOn(*machine);
            ClearPrivateSpace();
            const std::string scheduled = Scheduled(*machine);
            const std::string expected = row.expected ? "D:\\dir\\kvauthsv.dll|" : "";
            EXPECT_EQ(0, strcasecmp(expected.c_str(), scheduled.c_str())) << row.command << ": " << scheduled;
            const std::string line = std::string("ClearPrivateSpace() path:") + (row.expected ? row.expected : "");
            EXPECT_EQ(row.expected ? 1u : 0u, cleanuptest::CountEndingWith(tracetest::TraceLines(), line));
            EXPECT_EQ(row.command != nullptr, machine->Reg().KeyExists(entry));
        }
    }
}

TEST(CleanUpPS, UnregistersAndSchedulesTheCompanionFilesThroughEitherExport) {
    for (const bool decorated : {false, true}) {
        winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
        for (const char* name : {"KvPSpace.exe", "KvPSAgent.exe", "KvPSShell.dll"})
            ASSERT_TRUE(winsim::WriteWholeFile(std::string("C:\\PS\\") + name, "MZ"));
        for (const char* exe : {"C:\\PS\\KvPSpace.exe", "C:\\PS\\KvPSAgent.exe"}) {
            winsim::ProgramScript script;
            script.path = exe;
            machine->Processes().SetProgram(script);
        }
        winsim::DllScript dll;
        dll.path = "C:\\PS\\KvPSShell.dll";
        dll.unregister = winsim::DllScript::Unregister::Returns;
        machine->Processes().SetDll(dll);
        cleanuptest::TraceOn(*machine);

        char directory[] = "C:\\PS";
        using Proc = int (*)(char*);
        EXPECT_EQ(1, decorated
                         ? winsim::ProcAs<Proc>(GetProcAddress(LibraryModule(), "?CleanUpPS@@YAHPEAD@Z"))(directory)
                         : CleanUpPS(directory));
        EXPECT_EQ("C:\\PS\\KvPSpace.exe|C:\\PS\\KvPSAgent.exe|C:\\PS\\KvPSShell.dll|", Scheduled(*machine));
        std::string calls;  // the two programs started to unregister, the library's export called
        for (const auto& event : machine->Processes().Events())
            if (event.kind == winsim::ProcessEvent::Kind::Started ||
                event.kind == winsim::ProcessEvent::Kind::ExportCalled)
                calls += event.text + "|";
        EXPECT_EQ("/UnRegServer|/UnRegServer|DllUnregisterServer|", calls);
        EXPECT_EQ(
            1u, cleanuptest::CountEndingWith(tracetest::TraceLines(), "CleanUpPS() Removing KvPSpace.exe from C:\\PS"));
    }
}

}  // namespace
