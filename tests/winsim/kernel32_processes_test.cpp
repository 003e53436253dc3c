// Processes of the programs a machine describes, and the DLLs it describes as they load and run.
#include <winsim/files.h>
#include <winsim/handles.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using winsim::DllScript;
using winsim::OsVersion;
using winsim::ProgramScript;

namespace {

const char kServer[] = "C:\\Program Files\\Korvane\\kvsrv.exe";
const char kClsid[] = "HKEY_CLASSES_ROOT\\CLSID\\{6B3C1A52-0F4B-4B8A-9C55-2C8F00010001}";
const char kAppId[] = "HKEY_CLASSES_ROOT\\AppID\\kvsrv.exe";

void Program(winsim::Machine& m, const char* path, ProgramScript::Run run, DWORD runMs = 0, DWORD exitCode = 0) {
    ASSERT_TRUE(winsim::WriteWholeFile(path, "MZ"));
    ProgramScript script;
    script.path = path;
    script.run = run;
    script.runMs = runMs;
    script.exitCode = exitCode;
    script.removes = {kClsid, kAppId};
    m.Processes().SetProgram(script);
}

struct Started {
    BOOL ok;
    DWORD error;
    PROCESS_INFORMATION info;
};

Started Start(const char* application, const char* commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    Started s = {};
    std::string line = commandLine ? commandLine : "";
    SetLastError(0);
    s.ok = CreateProcessA(application, commandLine ? line.data() : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &s.info);
    s.error = GetLastError();
    return s;
}

void Close(const PROCESS_INFORMATION& info) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

using Account = winsim::Machine::Account;

std::shared_ptr<winsim::ProcessRecord> StartHost(winsim::Machine& m, Account account, ProgramScript::Quit quit,
                                                 std::vector<winsim::ThreadScript> threads = {}) {
    ProgramScript script;
    script.path = kServer;
    script.run = ProgramScript::Run::Never;
    script.account = account;
    script.quit = quit;
    script.quitMs = 5000;
    script.threads = std::move(threads);
    return m.Processes().Start(script, kServer);
}

}  // namespace

TEST(CreateProcess, FindsTheProgramAndRefusesFilesThatAreNone) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    Program(*machine, kServer, ProgramScript::Run::AtOnce);
    Program(*machine, "C:\\WINNT\\System32\\regtlib.exe", ProgramScript::Run::AtOnce);
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Korvane\\readme.exe", "text"));
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\Program Files\\Korvane\\kvcom.dll", "MZ"));
    DllScript dll;
    dll.path = "C:\\Program Files\\Korvane\\kvcom.dll";
    machine->Processes().SetDll(dll);
    const struct {
        const char* application;
        const char* commandLine;
        DWORD error;       // 0: started
        const char* seen;  // the command line the program sees
    } rows[] = {
        {kServer, "/UnRegServer", 0, "/UnRegServer"},
        {kServer, nullptr, 0, kServer},
        {nullptr, "C:\\Program Files\\Korvane\\kvsrv /UnRegServer", 0, nullptr},  // unquoted, blanks, ".exe"
        {nullptr, "\"C:\\Program Files\\Korvane\\kvsrv.exe\" -UnRegServer", 0, nullptr},
        {nullptr, "regtlib /u C:\\x.tlb", 0, "regtlib /u C:\\x.tlb"},  // a bare name: the system directory
        {"C:\\Program Files\\Korvane\\kvsrv", "/UnRegServer", ERROR_FILE_NOT_FOUND, nullptr},  // no ".exe" added
        {"C:\\Program Files\\Korvane\\missing.exe", nullptr, ERROR_FILE_NOT_FOUND, nullptr},
        {"C:\\Program Files\\Korvane\\readme.exe", nullptr, ERROR_BAD_EXE_FORMAT, nullptr},
        {"C:\\Program Files\\Korvane\\kvcom.dll", nullptr, ERROR_BAD_EXE_FORMAT, nullptr},
        {nullptr, nullptr, ERROR_INVALID_PARAMETER, nullptr},
    };
    const size_t handles = winsim::OpenHandleCount();
    for (const auto& row : rows) {
        const std::string name = row.commandLine ? row.commandLine : row.application ? row.application : "(none)";
        const Started s = Start(row.application, row.commandLine);
        EXPECT_EQ(row.error == 0, s.ok != FALSE) << name;
        if (!s.ok) {
            EXPECT_EQ(row.error, s.error) << name;
            continue;
        }
        const auto list = machine->Processes().List();
        EXPECT_EQ(row.seen ? row.seen : row.commandLine, list.back().commandLine) << name;
        Close(s.info);
    }
    EXPECT_EQ(handles, winsim::OpenHandleCount());
}

// The library's wait: a server ends within it and has removed its keys; one that does not end is left
// running, the handles closed, and a restart ends it.
TEST(CreateProcess, WaitsMoveTheClockAndAnUnRegServerRunRemovesItsKeysAsItEnds) {
    winsim::ScopedMachine machine(OsVersion::NT4);
    auto& reg = machine->Reg();
    reg.CreateKey(kClsid);
    reg.CreateKey(kAppId);
    Program(*machine, kServer, ProgramScript::Run::For, 1500, 3);
    DWORD code = 0;

    const Started quick = Start(kServer, "/UnRegServer");
    ASSERT_TRUE(quick.ok);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(quick.info.hProcess, 1000));
    EXPECT_TRUE(GetExitCodeProcess(quick.info.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_TRUE(reg.KeyExists(kClsid));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(quick.info.hThread, 10000));
    EXPECT_TRUE(GetExitCodeProcess(quick.info.hProcess, &code));
    EXPECT_EQ(3u, code);
    EXPECT_FALSE(reg.KeyExists(kClsid));
    EXPECT_FALSE(reg.KeyExists(kAppId));
    EXPECT_FALSE(TerminateProcess(quick.info.hProcess, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(GetExitCodeProcess(quick.info.hThread, &code)) << "a thread handle is no process handle";
    Close(quick.info);

    // Without the switch it removes nothing; never ending, it is running after the wait.
    reg.CreateKey(kClsid);
    Program(*machine, kServer, ProgramScript::Run::Never);
    const Started hung = Start(kServer, "/Automation");
    const Started killed = Start(kServer, "/UnRegServer");
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hung.info.hProcess, 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), WaitForSingleObject(hung.info.hProcess, INFINITE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_POSSIBLE_DEADLOCK), GetLastError());
    EXPECT_TRUE(TerminateProcess(killed.info.hProcess, 7));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(killed.info.hProcess, 0));
    EXPECT_TRUE(GetExitCodeProcess(killed.info.hProcess, &code));
    EXPECT_EQ(7u, code);
    EXPECT_TRUE(reg.KeyExists(kClsid)) << "a terminated server removed nothing";
    Close(hung.info);
    Close(killed.info);

    const auto ended = machine->Processes().EndAll();
    ASSERT_EQ(1u, ended.size());
    EXPECT_EQ(hung.info.dwProcessId, ended[0].id);
    EXPECT_TRUE(machine->Processes().Running().empty());
    EXPECT_EQ(winsim::ProcessEvent::Kind::EndedByRestart, machine->Processes().Events().back().kind);
}

TEST(DescribedDlls, LoadFromTheirFileAndTheirDllUnregisterServerDoesWhatTheScriptSays) {
    winsim::ScopedMachine machine(OsVersion::Win98);
    auto& reg = machine->Reg();
    const char kDll[] = "C:\\Program Files\\Korvane\\kvcom.dll";
    using HResultProc = HRESULT(WINAPI*)();
    const struct {
        DllScript::Unregister unregister;
        HRESULT result;
        bool faults;
    } rows[] = {
        {DllScript::Unregister::Returns, S_OK, false},
        {DllScript::Unregister::Returns, E_FAIL, false},
        {DllScript::Unregister::Faults, S_OK, true},
        {DllScript::Unregister::Missing, S_OK, false},
    };
    ASSERT_TRUE(winsim::WriteWholeFile(kDll, "MZ"));
    for (const auto& row : rows) {
        reg.CreateKey(kClsid);
        DllScript script;
        script.path = kDll;
        script.unregister = row.unregister;
        script.result = row.result;
        script.removes = {kClsid};
        script.exports = {{"KVQuillexRemoteTest", 7}};  // called as void (*)() or int (*)()
        machine->Processes().SetDll(script);

        HMODULE module = LoadLibraryA(kDll);
        ASSERT_NE(nullptr, module);
        const auto unregister = winsim::ProcAs<HResultProc>(GetProcAddress(module, "DllUnregisterServer"));
        if (row.unregister == DllScript::Unregister::Missing) {
            EXPECT_EQ(nullptr, unregister);
            EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
        } else if (row.faults) {
            EXPECT_THROW(unregister(), winsim::SimulatedFault);
        } else {
            EXPECT_EQ(row.result, unregister());
        }
        EXPECT_EQ(row.unregister == DllScript::Unregister::Missing, reg.KeyExists(kClsid));
        EXPECT_EQ(7, winsim::ProcAs<int (*)()>(GetProcAddress(module, "KVQuillexRemoteTest"))());
        EXPECT_EQ(nullptr, GetProcAddress(module, "KVQuillexMissing"));
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_EQ(nullptr, GetModuleHandleA(kDll)) << "gone with its last reference";
    }
    EXPECT_EQ(std::string(kDll) + " DllUnregisterServer called -> 0x80004005",
              winsim::DescribeProcessEvent(machine->Processes().Events().at(5)));
    EXPECT_EQ(std::string(kDll) + " KVQuillexRemoteTest called -> 0x00000007",
              winsim::DescribeProcessEvent(machine->Processes().Events().at(2)));

    // A file nobody describes is no module; no file, no module.
    ASSERT_TRUE(winsim::WriteWholeFile("C:\\WINDOWS\\SYSTEM\\notes.dll", "text"));
    for (const auto& [name, error] : {std::pair<const char*, DWORD>{"notes.dll", ERROR_BAD_EXE_FORMAT},
                                      {"C:\\Program Files\\Korvane\\other.dll", ERROR_MOD_NOT_FOUND}}) {
        SetLastError(0);
        EXPECT_EQ(nullptr, LoadLibraryA(name)) << name;
        EXPECT_EQ(error, GetLastError()) << name;
    }
}

TEST(OpenProcess, ChecksTheAccountsOnTheNtFamilyOnly) {
    // The caller's account, the process's, the access asked for, and whether 2000 grants it (98 always does).
    const std::tuple<Account, Account, DWORD, bool> rows[] = {
        {Account::User, Account::User, PROCESS_ALL_ACCESS, true},
        {Account::User, Account::Administrator, PROCESS_ALL_ACCESS, false},
        {Account::User, Account::Administrator, PROCESS_QUERY_INFORMATION | SYNCHRONIZE, true},
        {Account::Administrator, Account::LocalSystem, PROCESS_ALL_ACCESS, false},
        {Account::Administrator, Account::LocalSystem, PROCESS_VM_READ, false},
        {Account::Administrator, Account::LocalSystem, PROCESS_QUERY_INFORMATION | SYNCHRONIZE, true},
        {Account::LocalSystem, Account::Administrator, PROCESS_ALL_ACCESS, true},
    };
    for (OsVersion version : {OsVersion::Win98, OsVersion::Win2000}) {
        winsim::ScopedMachine machine(version);
        for (const auto& [caller, owner, access, nt] : rows) {
            machine->SetCallerAccount(caller);
            const DWORD id = StartHost(*machine, owner, ProgramScript::Quit::Ends)->id;
            const bool opens = nt || version == OsVersion::Win98;
            HANDLE process = OpenProcess(access, FALSE, id);
            EXPECT_EQ(opens ? 0u : ERROR_ACCESS_DENIED, process ? 0u : GetLastError())
                << winsim::OsVersionName(version) << " " << static_cast<int>(caller) << " " << access;
            CloseHandle(process);
        }
    }
}

// What the host stop does: WM_QUIT to each thread, a wait, TerminateProcess of a host that stays.
TEST(PostThreadMessage, TheProcessAnswersWmQuitAsItsProgramSays) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    // The answer, what a 60 s wait after the WM_QUIT gives, and the exit code (a terminated host: 1).
    const std::tuple<ProgramScript::Quit, DWORD, DWORD> rows[] = {
        {ProgramScript::Quit::Ends, WAIT_OBJECT_0, 9},
        {ProgramScript::Quit::After, WAIT_OBJECT_0, 9},
        {ProgramScript::Quit::Ignores, WAIT_TIMEOUT, 1},
    };
    for (const auto& [quit, wait, exitCode] : rows) {
        const auto host = StartHost(*machine, Account::Administrator, quit);
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, host->id);
        EXPECT_TRUE(PostThreadMessageA(host->threadId, WM_QUIT, 9, 0));
        EXPECT_EQ(quit != ProgramScript::Quit::Ends, host->state == winsim::ProcessRecord::State::Running);
        EXPECT_EQ(wait, WaitForSingleObject(process, 60000));
        EXPECT_EQ(wait == WAIT_TIMEOUT, TerminateProcess(process, 1) != FALSE);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(process, &code) && code == exitCode);
        CloseHandle(process);
        EXPECT_TRUE(!OpenProcess(SYNCHRONIZE, FALSE, host->id) && GetLastError() == ERROR_INVALID_PARAMETER);
        EXPECT_FALSE(PostThreadMessageA(host->threadId, WM_QUIT, 0, 0)) << "a thread of an ended process";
    }

    // A thread has a queue from its time on, a worker never; neither is the process's id a thread.
    const auto host = StartHost(*machine, Account::Administrator, ProgramScript::Quit::Ignores,
                                {winsim::ThreadScript{300}, winsim::ThreadScript{std::nullopt}});
    const DWORD main = host->threads[0].id, worker = host->threads[1].id;
    for (DWORD thread : {main, worker, host->id})
        EXPECT_FALSE(PostThreadMessageA(thread, WM_QUIT, 0, 0) || GetLastError() != ERROR_INVALID_THREAD_ID);
    Sleep(300);
    EXPECT_TRUE(PostThreadMessageA(main, WM_QUIT, 0, 0));
    EXPECT_EQ(winsim::ProcessEvent::Kind::ThreadMessage, machine->Processes().Events().back().kind);
}

namespace {
const char kRunOnce[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
}  // namespace

// A setup library's "runonce" from an INF's folder: the entries run in turn on the clock (on 98 the
// "Setup" ones first), each value deleted as its command starts ('!': as it ends), and a wait on
// runonce sees the last one end, the machine saved and loaded in between.
TEST(RunOnce, RunsTheEntriesInTurnOnTheClockAndAWaitSeesTheLastEnd) {
    const std::tuple<OsVersion, const char*, uint64_t> rows[] = {
        {OsVersion::Win98, "RUNONCE.EXE@0 A.EXE@0 B.EXE@1000 A.EXE@1500 ", 2500},
        {OsVersion::Win2000, "RUNONCE.EXE@0 B.EXE@0 A.EXE@500 ", 1500},
    };
    for (const auto& [version, starts, ends] : rows) {
        winsim::ScopedMachine machine(version);
        auto& reg = machine->Reg();
        const std::string setupKey = std::string(kRunOnce) + "\\Setup";
        Program(*machine, "C:\\Program Files\\Korvane\\a.exe", ProgramScript::Run::For, 1000);
        Program(*machine, "C:\\Program Files\\Korvane\\b.exe", ProgramScript::Run::For, 500);
        reg.SetStringValue(kRunOnce, "!b", "\"C:\\Program Files\\Korvane\\b.exe\" /q");
        reg.SetStringValue(kRunOnce, "gone", "nothing.exe");
        reg.SetStringValue(kRunOnce, "*a", "C:\\Program Files\\Korvane\\a.exe");
        reg.SetStringValue(setupKey, "Setup a", "C:\\Program Files\\Korvane\\a.exe");
        machine->SetCurrentDirectory("C:\\Setup\\Disk1");
        const Started s = Start(nullptr, "runonce");
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(3u, reg.Values(kRunOnce).size()) << "\"!b\" stays while it runs";
        EXPECT_EQ(version != OsVersion::Win98, reg.GetValue(setupKey, "Setup a").has_value());
        std::string error;
        ASSERT_TRUE(machine->Processes().LoadText(machine->Processes().SaveText(), &error)) << error;
        HANDLE runOnce = OpenProcess(SYNCHRONIZE, FALSE, s.info.dwProcessId);
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(runOnce, 180000));
        EXPECT_EQ(ends, machine->NowMs());
        std::string seen;
        for (const auto& p : machine->Processes().List())
            seen += winsim::UpperAscii(p.program.substr(p.program.rfind('\\') + 1)) + "@" +
                    std::to_string(p.startedMs) + " ";
        EXPECT_EQ(starts, seen);
        EXPECT_TRUE(reg.Values(kRunOnce).empty());
        int notStarted = 0;
        for (const auto& e : machine->Processes().Events())
            notStarted += e.kind == winsim::ProcessEvent::Kind::NotStarted;
        EXPECT_EQ(1, notStarted) << "nothing.exe";
        CloseHandle(runOnce);
        Close(s.info);
    }
}

TEST(RunOnce, AnEntryThatNeverEndsKeepsRunOnceRunning) {
    winsim::ScopedMachine machine(OsVersion::Win2000);
    Program(*machine, kServer, ProgramScript::Run::Never);
    machine->Reg().SetStringValue(kRunOnce, "!server", kServer);
    const Started s = Start(nullptr, "runonce.exe");
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(s.info.hProcess, 180000));
    EXPECT_TRUE(machine->Reg().GetValue(kRunOnce, "!server"));
    // Ended otherwise, it lets runonce go on.
    EXPECT_TRUE(machine->Processes().Terminate(machine->Processes().FindRunning(s.info.dwProcessId + 8), 1));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(s.info.hProcess, 0));
    EXPECT_FALSE(machine->Reg().GetValue(kRunOnce, "!server"));
    Close(s.info);
}

TEST(SystemPrograms, EachVersionKeepsRunOnceAndRundll32WhereItsOwnAre) {
    const std::tuple<OsVersion, const char*, const char*> rows[] = {
        {OsVersion::Win98, "C:\\WINDOWS\\SYSTEM\\RUNONCE.EXE", "C:\\WINDOWS\\RUNDLL32.EXE"},
        {OsVersion::NT4, "C:\\WINNT\\System32\\runonce.exe", "C:\\WINNT\\System32\\rundll32.exe"},
        {OsVersion::WinXP, "C:\\WINDOWS\\System32\\runonce.exe", "C:\\WINDOWS\\System32\\rundll32.exe"},
    };
    for (const auto& [version, runOnce, rundll32] : rows) {
        winsim::ScopedMachine machine(version);
        EXPECT_EQ(runOnce + std::string(rundll32),
                  winsim::RunOnceProgramPath(*machine) + winsim::Rundll32Path(*machine));
        EXPECT_TRUE(winsim::ReadWholeFile(runOnce) && winsim::ReadWholeFile(rundll32)) << runOnce;
    }
}
