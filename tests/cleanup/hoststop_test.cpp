// StopHost on each version, and the private-space companion's files (CleanUpPS, ClearPrivateSpace).
#include "cleanup/cleanup_testing.h"
#include "kvisinst/exports.h"

#include <winsim/handles.h>
#include <winsim/loader.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/restart.h>
#include <winsim/text.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winsim::OsVersion;
using State = winsim::ProcessRecord::State;
using Quit = winsim::ProgramScript::Quit;
const auto kAdmin = winsim::Machine::Account::Administrator;

// KERNEL32.DLL whose Process32Next lets the host end right after the walk has found it.
BOOL WINAPI NextThenEnd(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    const BOOL found = Process32Next(snapshot, entry);
    winsim::Current().Processes().EndAll();
    return found;
}
const winsim::ExportEntry kRacingKernel32[] = {
    {"CreateToolhelp32Snapshot", winsim::AsExport(&CreateToolhelp32Snapshot)},
    {"Process32First", winsim::AsExport(&Process32First)},
    {"Process32Next", winsim::AsExport(&NextThenEnd)},
    {"Thread32First", winsim::AsExport(&Thread32First)},
    {"Thread32Next", winsim::AsExport(&Thread32Next)},
    {nullptr, nullptr}};

// A program that runs until it is ended; `worker`: with a second thread that never has a queue.
winsim::ProgramScript Program(const char* path, Quit quit = Quit::Ends, bool worker = false) {
    winsim::ProgramScript script;
    script.path = path;
    script.run = winsim::ProgramScript::Run::Never;
    script.quit = quit;
    script.threads.resize(worker ? 2 : 1);
    if (worker) script.threads[1].queueAfterMs.reset();
    return script;
}
const auto kHost = Program("C:\\Program Files\\Korvane\\KvHost.exe");
const auto kOther = Program("C:\\Tools\\notepad.exe", Quit::Ignores);

const struct {
    OsVersion version;
    std::vector<winsim::ProgramScript> running;
    winsim::Machine::Account caller;
    bool racing;  // the host ends between the walk and OpenProcess
    int result;
    std::vector<State> after;
    uint64_t elapsedMs;
} kStopRows[] = {
    {OsVersion::NT4, {kHost}, kAdmin, false, 0, {State::Running}, 0},  // no toolhelp
    {OsVersion::Win2000, {kOther}, kAdmin, false, 1, {State::Running}, 0},
    {OsVersion::Win98, {kOther, kHost}, kAdmin, false, 1, {State::Running, State::Ended}, 0},
    {OsVersion::Win2000, {Program("C:\\K\\kvhost.exe", Quit::Ignores)}, kAdmin, false, 1, {State::Terminated}, 60000},
    {OsVersion::Win95, {Program("C:\\K\\KVHOST2.EXE"), kHost}, kAdmin, false, 1, {State::Ended, State::Running}, 0},
    {OsVersion::Win2000, {Program("C:\\K\\kvhost.exe", Quit::Ends, true)}, kAdmin, false, 1, {State::Ended}, 1000},
    {OsVersion::Win2000, {kHost}, winsim::Machine::Account::User, false, 0, {State::Running}, 0},
    {OsVersion::Win2000, {kHost}, kAdmin, true, 0, {State::Terminated}, 0},  // by the racing walk
};

TEST(StopHost, AsksTheFirstHostToQuitTerminatesItAfterAMinuteAndFailsWhereItCannotReachIt) {
    for (const auto& row : kStopRows) {
        SCOPED_TRACE("row " + std::to_string(&row - kStopRows));
        winsim::ScopedMachine machine(row.version);
        HMODULE racing = nullptr;
        if (row.racing) winsim::UnregisterModule(GetModuleHandleA("KERNEL32.DLL"));
        if (row.racing) racing = winsim::RegisterModule({"KERNEL32.DLL", kRacingKernel32, nullptr, 0});
        for (const auto& program : row.running) machine->Processes().Start(program, program.path);
        machine->SetCallerAccount(row.caller);
        const uint64_t started = machine->NowMs();
        const size_t handles = winsim::OpenHandleCount();

        EXPECT_EQ(row.result, StopHost(&row - kStopRows ? "x" : nullptr));
        std::vector<State> after;
        for (const auto& process : machine->Processes().List()) after.push_back(process.state);
        EXPECT_EQ(row.after, after);
        EXPECT_EQ(row.elapsedMs, machine->NowMs() - started);
        EXPECT_EQ(handles, winsim::OpenHandleCount());
        if (racing) winsim::UnregisterModule(racing);
    }
}

std::string Scheduled(winsim::Machine& machine) {
    std::string scheduled;
    for (const auto& operation : winsim::PendingFileOperations(machine)) scheduled += operation.source + "|";
    return scheduled;
}

TEST(CleanUpPS, SchedulesTheCompanionFilesInTheDirectory) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    for (const char* name : {"KvPSpace.exe", "KvPSAgent.exe", "KvPSShell.dll"})
        ASSERT_TRUE(winsim::WriteWholeFile(std::string("C:\\PS\\") + name, "MZ"));
    cleanuptest::TraceOn(*machine);
    char directory[] = "C:\\PS";
    EXPECT_EQ(1, CleanUpPS(directory));
    EXPECT_EQ("C:\\PS\\KvPSpace.exe|C:\\PS\\KvPSAgent.exe|C:\\PS\\KvPSShell.dll|", Scheduled(*machine));
    EXPECT_EQ(1u,
              cleanuptest::CountEndingWith(tracetest::TraceLines(), "CleanUpPS() Removing KvPSpace.exe from C:\\PS"));
}

TEST(ClearPrivateSpace, SchedulesTheLibraryBesideTheLogFileOfTheUninstallCommand) {
    const char* const rows[][2] = {
        // The uninstall command (null: no entry) and the path traced and scheduled (null: none).
        {"C:\\PS\\uninst.exe -f\"D:\\dir\\log.txt\"", "D:\\dir\\kvauthsv.dll"},
        {"uninst.exe -a -fD:\\dir/log.txt -b", "D:\\dir/kvauthsv.dll"},
        {"C:\\PS\\uninst.exe", nullptr},
        {"C:\\PS\\uninst.exe -f", nullptr},
        {"C:\\PS\\uninst.exe -f\"", nullptr},
        {"C:\\PS\\uninst.exe -f\"log.txt\"", nullptr},  // no folder
        {nullptr, nullptr},
    };
    const char kEntry[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillex Private Space";
    for (const auto version : {OsVersion::Win98, OsVersion::Win2000}) {
        for (const auto& row : rows) {
            winsim::ScopedMachine machine(version);
            SCOPED_TRACE(row[0] ? row[0] : "(none)");
            ASSERT_TRUE(winsim::WriteWholeFile("D:\\dir\\kvauthsv.dll", "MZ"));
            if (row[0]) machine->Reg().SetStringValue(kEntry, "UninstallString", row[0]);
            cleanuptest::TraceOn(*machine);
            ClearPrivateSpace();
            EXPECT_EQ(row[1] ? "D:\\DIR\\KVAUTHSV.DLL|" : "", winsim::UpperAscii(Scheduled(*machine)));
            const std::string line = std::string("() path:") + (row[1] ? row[1] : "");
            EXPECT_EQ(row[1] ? 1u : 0u, cleanuptest::CountEndingWith(tracetest::TraceLines(), line));
            EXPECT_EQ(row[0] != nullptr, machine->Reg().KeyExists(kEntry));
        }
    }
}

}  // namespace
