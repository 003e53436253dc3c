// kvsim start: starts a program of the machine as its user would (a double click, a Start-menu
// shortcut), so that a later call finds it running: the product's host, its agent and its window.
#include "tools/kvsim/changes.h"
#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/files.h>
#include <winsim/processes.h>
#include <winsim/win32api.h>

#include <cstdio>

namespace kvsim {

int RunStart(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "kvsim start: give a machine folder, the Windows path of a program described in its\n"
                     "  programs.txt, and optionally the rest of its command line\n");
        return kExitUsage;
    }
    const std::string& program = args[1];
    // The command line a program started from the shell sees: its own path, quoted, then its arguments.
    std::string commandLine = "\"" + program + "\"";
    for (size_t i = 2; i < args.size(); ++i) commandLine += " " + args[i];

    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim start: %s\n", error.c_str());
        return kExitBadInput;
    }
    auto& m = machine.Machine();
    const size_t eventsBefore = m.Processes().Events().size();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        const DWORD why = GetLastError();
        const bool described = m.Processes().Program(program).has_value();
        if (why == ERROR_BAD_EXE_FORMAT || (why == ERROR_FILE_NOT_FOUND && !described))
            std::fprintf(stderr,
                         "kvsim start: %s is not a program of this machine: describe it as [program %s] in\n"
                         "  %s/programs.txt%s\n",
                         program.c_str(), program.c_str(), args[0].c_str(),
                         why == ERROR_FILE_NOT_FOUND ? " and put its file there (kvsim put)" : "");
        else if (why == ERROR_FILE_NOT_FOUND)
            std::fprintf(stderr,
                         "kvsim start: programs.txt describes %s, but the machine has no such file (kvsim put)\n",
                         program.c_str());
        else
            std::fprintf(stderr, "kvsim start: %s cannot be started (error %u)\n", program.c_str(),
                         static_cast<unsigned>(why));
        return kExitBadInput;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    std::printf("Started %s\n", program.c_str());
    bool running = false;
    for (const auto& p : m.Processes().Running())
        if (p.id == started.dwProcessId) {
            std::printf("%s", DescribeProcess(m, p).c_str());
            running = true;
        }
    // A program that does its work and ends at once.
    if (!running) std::printf("%s", ProcessesSince(m, eventsBefore).c_str());
    if (!machine.Commit(&error)) {
        std::fprintf(stderr, "kvsim start: %s\n", error.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kvsim
