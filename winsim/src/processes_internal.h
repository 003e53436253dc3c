// The records of a machine's Processes, shared by processes.cpp and processes_text.cpp.
#pragma once

#include <winsim/processes.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// "C:\x/Y.exe" -> "C:\X\Y.EXE": how descriptions and files are matched.
std::string ProgramKey(std::string_view path);

// The file a command line starts on that machine, found as CreateProcessA finds it for a program in
// `programFolder` (kernel32_processes.cpp): a quoted first word, or the shortest run of words naming a
// file; ".exe" supplied; a bare name looked for in the program's folder, the current directory, the
// system directory and the Windows directory.
std::optional<std::string> ProgramOfCommandLine(Machine& machine, const std::string& commandLine,
                                                const std::string& programFolder);

struct Processes::Impl {
    explicit Impl(Machine& m) : machine(m) {}

    Machine& machine;
    mutable std::recursive_mutex lock;
    std::vector<ProgramScript> programs;
    std::vector<DllScript> dlls;
    ProgramScript runOnce;  // the machine's own, at its version's path
    std::vector<std::shared_ptr<ProcessRecord>> processes;
    std::vector<ProcessEvent> events;
    DWORD nextId = 1000;

    ProgramScript* FindProgram(std::string_view path);
    // The description of a program, or the machine's own runonce at its path; null for neither.
    const ProgramScript* DescribedProgram(std::string_view path);
    DllScript* FindDll(std::string_view path);
    // Ends, in the order of their end, the processes whose time has come on the machine's clock, and
    // starts the runonce entries that follow them.
    void Settle();
    // Records a process of `program` started at `startMs` (no Settle).
    std::shared_ptr<ProcessRecord> StartAt(const ProgramScript& program, std::string commandLine, uint64_t startMs);
    // A runonce whose entry (or whose start) is over at `atMs`: deletes the '!' value of the entry that
    // ended and starts the next entry that can start, or ends the runonce at `atMs`.
    void RunNextEntry(ProcessRecord& runOnce, uint64_t atMs);
    // A process that ended at `atMs`: the runonce waiting for it goes on.
    void EntryEnded(const ProcessRecord& process, uint64_t atMs);
    // A new process or thread id (a multiple of 4, as on Windows, never the calling program's own).
    DWORD NextId();
    // Destroys the windows of a process that has ended.
    void CloseWindows(ProcessRecord& process);
    // Makes a process end by itself now (at once, unless it was due sooner) with that exit code.
    void EndNow(ProcessRecord& process, DWORD exitCode);
};

}  // namespace winsim
