// The programs and simulated DLLs of a machine, and the processes running on it, as tests and kvsim
// see them. The Win32 side is CreateProcessA, OpenProcess, GetExitCodeProcess and TerminateProcess
// (api/kernel32_processes.h), WaitForSingleObject on a process handle, the toolhelp snapshot
// (api/kernel32_toolhelp.h), PostThreadMessageA and the WM_CLOSE of a process's window
// (api/user32_windows.h), and LoadLibraryA of a DLL described here (kernel32_modules.cpp), all acting
// on the current machine's Processes.
//
// A process has threads (the first is its main thread; thread ids are distinct from process ids) and
// the top-level windows its program opens as it starts (kept by the machine's Windows, destroyed when
// the process ends in any way). A message posted to a thread is recorded; WM_QUIT is answered as the
// program says: the process ends at once with the message's wParam as its exit code, ends so some ms
// later (unless it ends sooner by itself), or goes on. A WM_CLOSE posted to one of its windows counts
// as an attempt; the window closes on the attempt its program says, and a process whose last window
// closes ends with exit code 0. Nothing else of a message loop is simulated.
//
// winsim runs no program code. A program or DLL is a file on the machine's drives plus a script
// here that says what it does; a file the machine has but does not describe is not a loadable image
// (CreateProcessA and LoadLibraryA fail with ERROR_BAD_EXE_FORMAT), and a description without its
// file is not found (ERROR_FILE_NOT_FOUND, ERROR_MOD_NOT_FOUND).
//
// Time is the machine's clock: a program that runs 500 ms ends when a wait, a query or a sleep has
// moved the clock 500 ms past its start. Waiting on a process moves the clock, never real time.
//
// Text form (programs.txt of a machine folder, through the reader in text.h; processes_text.cpp):
//
//   [program C:\Program Files\Korvane\kvsrv.exe]
//   Runs=at-once | N | never | runonce
//                                how long it runs, N in ms of the machine's clock (default at-once);
//                                runonce: it is a runonce (below), running as long as its entries do
//   ExitCode=N                   the code it ends with by itself (default 0)
//   Removes=HKEY_...\Key         started with /UnRegServer (or -UnRegServer) anywhere on its command
//                                line, it removes this key as it ends by itself; one key a line
//   Thread=queue | queue-after N | no-queue
//                                one line a thread, the main thread first: whether it has a message
//                                queue from the start, from N ms after it, or never (a worker). No
//                                Thread line: one thread with a queue from the start
//   OnQuit=ends | N | ignores    its answer to WM_QUIT: ends at once, ends N ms later, goes on
//                                (default ends)
//   Window=CLASS|TITLE           a top-level window it opens as it starts (the title and its '|' may
//                                be left out: no title); one line a window
//   OnClose=closes | N | never   how the Window above answers WM_CLOSE: closes on the first, on the
//                                Nth, or never (default closes)
//   Account=system | administrator | user
//                                who runs it, which decides who may open it (default administrator)
//
//   [dll C:\Program Files\Korvane\kvcom.dll]
//   DllUnregisterServer=returns HRESULT | faults   without it the DLL lacks that export
//   Removes=HKEY_...\Key         what DllUnregisterServer removes before it returns (or faults)
//   Export=NAME | NAME returns N another export, taking no arguments and returning N (default 0), as
//                                `int (WINAPI*)()` (a caller may as well call it as `void (*)()`);
//                                one a line, at most 8 a DLL. A call is recorded (ExportCalled)
//
//   [process 1000]               a process still running, as the machine keeps it between runs
//   Program=C:\...\kvsrv.exe
//   CommandLine=/UnRegServer
//   Started=12000                the clock, in ms, when it started
//   Ends=15000 | never           the clock when it ends by itself
//   ExitCode=N
//   Removes=HKEY_...\Key         what it removes as it ends
//   Thread=ID queue-from N | ID no-queue
//                                one line a thread, the main thread first; the clock, in ms, from which
//                                it has a queue (no Thread line: one thread, id ID+4, from Started)
//   OnQuit=ends | N | ignores    as for a program
//   Account=system | administrator | user
//   Window=CLASS|TITLE           each open window, with its OnClose as for a program and
//   CloseAttempts=N              the WM_CLOSE messages it has had so far (default 0)
//   EntryProcess=ID              a runonce: the process of the entry now running,
//   DeletesAfter=KEY|NAME        the '!' value deleted when that entry ends,
//   Entry=KEY|NAME|COMMAND       and the entries still to run, in order (one a line; the value name
//                                may not hold a '|')
//
// A WM_QUIT that ends a process later is kept as its Ends and ExitCode.
//
// regtlib.exe is a program like any other: "[program C:\WINNT\System32\regtlib.exe]" with no keys
// is one that records its command line and ends at once with 0.
//
// runonce: every machine has the file RunOnceProgramPath (machine.h) and knows it as a program that
// runs once the entries of HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunOnce, so
// that CreateProcessA(NULL, "runonce", ...) finds and starts it through the usual search (programs.txt
// need not describe it; a [program] of that path with its own Runs replaces it). Started, it reads the
// entries - on 95/98 first those of the key's "Setup" subkey, as Windows' Setup and Add/Remove
// Programs have them run - in the order the registry enumerates them (the order they were added),
// and runs them one after another, each started when the one before ends, on the machine's clock:
// - an entry's value is deleted just before its command starts; a value name beginning with '!' is
//   deleted only once its command has ended (and stays when the command fails to start); a '*' there
//   (which lets the entry run in safe mode) changes nothing, as winsim has no safe mode;
// - the command (REG_SZ or REG_EXPAND_SZ, taken as written) is resolved as CreateProcessA resolves a
//   command line, from runonce's folder; one that names no described program (or a runonce) is
//   recorded as NotStarted and skipped;
// - runonce ends (exit code 0) when its last entry has ended, at once when it has none; an entry that
//   never ends keeps it running, so a caller's wait on runonce times out.
// Each start and end is a ProcessEvent. What winsim's runonce does less than Windows': it reads only
// that key (no HKEY_CURRENT_USER RunOnce, RunOnceEx, RunServicesOnce, nor the NT family's
// "Setup" subkey), shows no progress dialog for the "Setup" entries, ignores its command-line
// switches, expands no environment variables, and reads the entries once as it starts (values
// added while it runs wait for the next run). Windows 2000 and XP document the order as undefined;
// winsim keeps the order of adding, which the earlier Windows 95/NT 4 documents give.
//
// rundll32: every machine also has the file Rundll32Path (machine.h); it is not described as a program
// (a runonce entry "rundll32 x.dll,Entry" starts only when programs.txt describes that path).
#pragma once

#include <winsim/machine.h>
#include <winsim/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct ExportEntry;

// One thread of a program. The first thread of a process is its main thread.
struct ThreadScript {
    // When the thread has made its message queue, in ms after the process started; none: never (a
    // worker that calls no window function). Until then PostThreadMessageA to it fails with
    // ERROR_INVALID_THREAD_ID.
    std::optional<DWORD> queueAfterMs = 0;
};

// A top-level window a program makes as it starts (Windows keeps it while the process runs; it goes
// when the process ends).
struct WindowScript {
    std::string className;
    std::string title;
    // How the window answers WM_CLOSE posted to it: it closes on the Nth such message (1: the first);
    // 0: never. A process whose last window closes ends with exit code 0, as a one-window program's
    // message loop ends on the WM_QUIT its WM_DESTROY posts.
    DWORD closesOnAttempt = 1;
};

// How a program behaves when it is started.
struct ProgramScript {
    // RunOnce: it is a runonce (above), running as long as the RunOnce entries it starts.
    enum class Run { AtOnce, For, Never, RunOnce };
    // How its process answers WM_QUIT posted to any of its threads that has a queue: it ends at once
    // (exit code = the message's wParam), ends after quitMs, or goes on.
    enum class Quit { Ends, After, Ignores };

    std::string path;  // Windows path of its file; compared without regard to case
    Run run = Run::AtOnce;
    DWORD runMs = 0;  // Run::For
    DWORD exitCode = 0;
    std::vector<std::string> removes;  // registry keys removed by an /UnRegServer run as it ends
    Quit quit = Quit::Ends;
    DWORD quitMs = 0;  // Quit::After
    std::vector<ThreadScript> threads;  // none: one thread with its queue from the start
    std::vector<WindowScript> windows;
    Machine::Account account = Machine::Account::Administrator;  // who runs it (who may open it)
};

// How a simulated DLL's exports behave.
struct DllScript {
    enum class Unregister { Missing, Returns, Faults };
    std::string path;
    Unregister unregister = Unregister::Missing;  // its DllUnregisterServer export
    HRESULT result = 0;                           // what DllUnregisterServer returns
    std::vector<std::string> removes;             // registry keys DllUnregisterServer removes
    // Its other exports, each taking no arguments and returning its `result` (only the first 8 are
    // exported).
    struct Export {
        std::string name;
        DWORD result = 0;
    };
    std::vector<Export> exports;
};

// A process started on the machine.
struct ProcessRecord {
    enum class State { Running, Ended, Terminated };
    DWORD id = 0;
    DWORD threadId = 0;
    std::string program;      // the file started
    std::string commandLine;  // as the program sees it
    uint64_t startedMs = 0;
    std::optional<uint64_t> endsMs;  // when it ends by itself; none: never
    State state = State::Running;
    DWORD exitCode = 259;              // STILL_ACTIVE while running
    DWORD endCode = 0;                 // the code it ends with by itself
    std::vector<std::string> removes;  // keys it removes as it ends by itself
    // Its threads (the first is threadId) with the clock, in ms, from which each has a queue (none:
    // never), its windows (open while it runs), and how it answers WM_QUIT and who runs it.
    struct Thread {
        DWORD id = 0;
        std::optional<uint64_t> queueFromMs;
    };
    std::vector<Thread> threads;
    std::vector<HWND> windows;
    ProgramScript::Quit quit = ProgramScript::Quit::Ends;
    DWORD quitMs = 0;
    Machine::Account account = Machine::Account::Administrator;
    // A runonce: the process of the entry now running (0: none), the '!' value deleted as it ends (an
    // empty key: none), and the entries not yet started, in order.
    struct RunOnceEntry {
        std::string key;
        std::string name;  // the value name, with its '!' or '*'
        std::string command;
    };
    DWORD entryProcess = 0;
    RunOnceEntry deletesAfter;
    std::vector<RunOnceEntry> entries;
};

// What happened to programs and modules, oldest first: kvsim lists these as a call's changes.
struct ProcessEvent {
    enum class Kind {
        Started,     // `path` with `text`, the command line; `id` is the process
        Ended,       // by itself, with `code`
        Terminated,  // by TerminateProcess, with `code`
        EndedByRestart,
        ModuleLoaded,   // `path`
        ExportCalled,   // `text` is the export, `code` what it returned
        ExportFaulted,  // `text` is the export
        ModuleFreed,
        ThreadMessage,  // posted to thread `code`'s queue of process `id`; `text` names the message
        WindowClosed,   // a window of process `id` closed; `text` is its class name
        NotStarted,     // process `id` (a runonce) could not start the command `text`: no described program
    };
    Kind kind;
    std::string path;
    std::string text;
    DWORD id = 0;
    DWORD code = 0;
};
// One line for a person: "started C:\x\kvsrv.exe /UnRegServer (process 1000)", ...
std::string DescribeProcessEvent(const ProcessEvent& event);

class Processes {
public:
    explicit Processes(Machine& machine);
    ~Processes();
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;

    // Describes a program or DLL, replacing the description of the same path. The file itself is
    // the caller's to put on the drives. Program also answers the machine's own runonce, which is not
    // a description (SaveText does not write it) unless one replaces it.
    void SetProgram(const ProgramScript& script);
    void SetDll(const DllScript& script);
    std::optional<ProgramScript> Program(std::string_view path) const;
    std::optional<DllScript> Dll(std::string_view path) const;

    // Every process started since the machine was made (or loaded), in the order started; the ones
    // whose time has come are ended first.
    std::vector<ProcessRecord> List();
    std::vector<ProcessRecord> Running();
    // Ends the processes whose time has come on the machine's clock (and so closes their windows), as
    // every call here does first; the window calls use it before they look at the windows.
    void Settle();

    // Ends every running process, as shutting Windows down does (no keys are removed), records it,
    // and returns what was ended.
    std::vector<ProcessRecord> EndAll();

    std::vector<ProcessEvent> Events() const;
    void ClearEvents();

    // Text form (programs.txt, see above). Loading replaces descriptions and running processes; on a
    // damaged text it returns false with "line N: fault" in `error` and changes nothing.
    std::string SaveText() const;
    bool LoadText(std::string_view text, std::string* error);

    // For the Win32 calls. Start records a process of a described program and returns it; Wait moves
    // the clock as WaitForSingleObject on it does and returns WAIT_OBJECT_0, WAIT_TIMEOUT, or
    // WAIT_FAILED (an INFINITE wait for a process that never ends, which on Windows would hang:
    // ERROR_POSSIBLE_DEADLOCK). A wait moves the clock from one end of a process to the next, so that a
    // runonce starts its next entry on time and its end is seen within the wait. Terminate is
    // TerminateProcess (false once it has ended).
    struct Impl;
    std::shared_ptr<ProcessRecord> Start(const ProgramScript& program, std::string commandLine);
    DWORD Wait(const std::shared_ptr<ProcessRecord>& process, DWORD milliseconds);
    DWORD ExitCode(const std::shared_ptr<ProcessRecord>& process);
    bool Terminate(const std::shared_ptr<ProcessRecord>& process, DWORD exitCode);
    // Whether this machine keeps that process (a handle may outlive the machine it came from).
    bool Owns(const std::shared_ptr<ProcessRecord>& process) const;
    // The running process of that id (OpenProcess), or null.
    std::shared_ptr<ProcessRecord> FindRunning(DWORD processId);
    // PostThreadMessageA: ERROR_SUCCESS, or ERROR_INVALID_THREAD_ID when no running process has that
    // thread or it has no queue yet. The message is recorded; WM_QUIT is answered as the process's
    // program says.
    DWORD PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
    // A WM_CLOSE posted to a window of a process (Windows::Post calls this): counts the attempt and
    // closes the window on the attempt its program says, ending the process with its last window.
    void CloseAttempt(HWND window);

    // For the loader: false when no DLL is described at that full Windows path; else true with its
    // exports in `exports` (a table ending in a null name, possibly empty), or null there when the
    // process has run out of the slots its exports need (64 DLLs of distinct paths).
    bool ExportsOf(std::string_view fullPath, const ExportEntry** exports);
    void NoteModuleLoaded(const std::string& path);
    void NoteModuleFreed(const std::string& path);
    // Runs DllUnregisterServer, or the export `name`, of the DLL at `path` (what a simulated export
    // calls). An export whose description went while the module was loaded returns 0.
    HRESULT CallUnregister(const std::string& path);
    DWORD CallExport(const std::string& path, const std::string& name);

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace winsim
