// StopHost on each Windows version: which process is the host, how it is asked to end and when it is
// terminated, and what happens when it cannot be opened or the toolhelp calls fail under it.
#include "kvisinst/common/module.h"
#include "kvisinst/exports.h"

#include <winsim/handles.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winsim::Machine;
using winsim::OsVersion;
using winsim::ProcessRecord;
using winsim::ProgramScript;
using State = ProcessRecord::State;
using Account = Machine::Account;

struct Program {
    const char* path;
    ProgramScript::Quit quit;
    bool worker;  // a second thread that never has a message queue
    Account account;
};

const Program kHost = {"C:\\Program Files\\Korvane\\KvHost.exe", ProgramScript::Quit::Ends, false,
                       Account::Administrator};
const Program kDeafHost = {"C:\\Korvane\\kvhost.exe", ProgramScript::Quit::Ignores, false, Account::Administrator};
const Program kWorkerHost = {"C:\\Korvane\\kvhost.exe", ProgramScript::Quit::Ends, true, Account::Administrator};
const Program kSecondHost = {"C:\\Korvane\\KVHOST2.EXE", ProgramScript::Quit::Ends, false, Account::Administrator};
const Program kOther = {"C:\\Tools\\notepad.exe", ProgramScript::Quit::Ignores, false, Account::Administrator};

void Start(Machine& machine, const Program& program) {
    ProgramScript script;
    script.path = program.path;
    script.run = ProgramScript::Run::Never;
    script.quit = program.quit;
    script.threads.resize(program.worker ? 2 : 1);
    if (program.worker) script.threads[1].queueAfterMs.reset();
    script.account = program.account;
    machine.Processes().SetProgram(script);
    machine.Processes().Start(script, program.path);
}

// The decorated export, as a setup program finds it.
int StopHostDecorated(const char* unused) {
    using Proc = int (*)(const char*);
    return winsim::ProcAs<Proc>(GetProcAddress(LibraryModule(), "?StopHost@@YAHPEBD@Z"))(unused);
}

struct Row {
    OsVersion version;
    std::vector<Program> running;
    Account caller;
    bool decorated;
    int result;
    std::vector<State> after;
    uint64_t elapsedMs;
};

const Row kRows[] = {
    {OsVersion::NT4, {kHost}, Account::Administrator, false, 0, {State::Running}, 0},  // no toolhelp
    {OsVersion::Win2000, {kOther}, Account::Administrator, true, 1, {State::Running}, 0},
    {OsVersion::Win98, {kOther, kHost}, Account::Administrator, false, 1, {State::Running, State::Ended}, 0},
    {OsVersion::Win2000, {kDeafHost}, Account::Administrator, true, 1, {State::Terminated}, 60000},
    {OsVersion::Win95, {kSecondHost, kHost}, Account::Administrator, false, 1, {State::Ended, State::Running}, 0},
    {OsVersion::Win2000, {kWorkerHost}, Account::Administrator, false, 1, {State::Ended}, 10 * 100},
    {OsVersion::Win2000, {kHost}, Account::User, false, 0, {State::Running}, 0},
    {OsVersion::Win98, {kHost}, Account::User, true, 1, {State::Ended}, 0},
};

TEST(StopHost, AsksTheFirstHostToQuitTerminatesItAfterAMinuteAndFailsWhereItCannotReachIt) {
    for (size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& row = kRows[i];
        winsim::ScopedMachine machine(row.version);
        for (const Program& program : row.running) Start(*machine, program);
        machine->SetCallerAccount(row.caller);
        const uint64_t started = machine->NowMs();
        const size_t handles = winsim::OpenHandleCount();

        EXPECT_EQ(row.result, row.decorated ? StopHostDecorated(nullptr) : StopHost("ignored")) << "row " << i;
        std::vector<State> after;
        for (const ProcessRecord& process : machine->Processes().List()) after.push_back(process.state);
        EXPECT_EQ(row.after, after) << "row " << i;
        EXPECT_EQ(row.elapsedMs, machine->NowMs() - started) << "row " << i;
        EXPECT_EQ(handles, winsim::OpenHandleCount()) << "row " << i;
    }
}

// A KERNEL32.DLL whose walks let the host end right after the process walk found it, or fault.
enum class Twist { HostEndsAfterTheWalk, ThreadWalkFaults } g_twist;

BOOL WINAPI NextThenEnd(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    const BOOL found = Process32Next(snapshot, entry);
    if (g_twist == Twist::HostEndsAfterTheWalk) winsim::Current().Processes().EndAll();
    return found;
}

BOOL WINAPI FirstThreadOrFault(HANDLE snapshot, LPTHREADENTRY32 entry) {
    if (g_twist == Twist::ThreadWalkFaults) throw winsim::SimulatedFault{};
    return Thread32First(snapshot, entry);
}

const winsim::ExportEntry kTwistedKernel32[] = {
    {"CreateToolhelp32Snapshot", winsim::AsExport(&CreateToolhelp32Snapshot)},
    {"Process32First", winsim::AsExport(&Process32First)},
    {"Process32Next", winsim::AsExport(&NextThenEnd)},
    {"Thread32First", winsim::AsExport(&FirstThreadOrFault)},
    {"Thread32Next", winsim::AsExport(&Thread32Next)},
    {nullptr, nullptr},
};

TEST(StopHost, AHostGoneBeforeItIsOpenedOrAFaultInTheWalkGivesZeroAndReleasesEverything) {
    for (const Twist twist : {Twist::HostEndsAfterTheWalk, Twist::ThreadWalkFaults}) {
        winsim::ScopedMachine machine(OsVersion::Win2000);
        winsim::UnregisterModule(GetModuleHandleA("KERNEL32.DLL"));
        winsim::ModuleImage image;
        image.fileName = "KERNEL32.DLL";
        image.exports = kTwistedKernel32;
        const HMODULE twisted = winsim::RegisterModule(image);
        g_twist = twist;
        Start(*machine, kHost);
        const size_t handles = winsim::OpenHandleCount();

        EXPECT_EQ(0, StopHost(nullptr));
        EXPECT_EQ(handles, winsim::OpenHandleCount());
        EXPECT_EQ(twist == Twist::ThreadWalkFaults, machine->Processes().List()[0].state == State::Running);
        winsim::UnregisterModule(twisted);
    }
}

}  // namespace
