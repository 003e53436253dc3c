// The records of a machine's Processes, shared by processes.cpp and processes_text.cpp.
#pragma once

#include <winsim/processes.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winsim {

// "C:\x/Y.exe" -> "C:\X\Y.EXE": how descriptions and files are matched.
std::string ProgramKey(std::string_view path);

struct Processes::Impl {
    explicit Impl(Machine& m) : machine(m) {}

    Machine& machine;
    mutable std::recursive_mutex lock;
    std::vector<ProgramScript> programs;
    std::vector<DllScript> dlls;
    std::vector<std::shared_ptr<ProcessRecord>> processes;
    std::vector<ProcessEvent> events;
    DWORD nextId = 1000;

    ProgramScript* FindProgram(std::string_view path);
    DllScript* FindDll(std::string_view path);
    // Ends, in the order of their end, the processes whose time has come on the machine's clock.
    void Settle();
    // A new process or thread id (a multiple of 4, as on Windows, never the calling program's own).
    DWORD NextId();
    // Destroys the windows of a process that has ended.
    void CloseWindows(ProcessRecord& process);
    // Makes a process end by itself now (at once, unless it was due sooner) with that exit code.
    void EndNow(ProcessRecord& process, DWORD exitCode);
};

}  // namespace winsim
