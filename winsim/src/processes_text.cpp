// The programs, DLLs and running processes of a machine as text, the programs.txt of a machine
// folder, read by the machine folder's section reader (text.h). The syntax is in processes.h.
#include <winsim/text.h>

#include "processes_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace winsim {

namespace {

bool ParseNumber(const std::string& text, DWORD* out) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || v > 0xFFFFFFFFull) return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool ParseClock(const std::string& text, uint64_t* out) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    *out = std::strtoull(text.c_str(), &end, 10);
    return !*end;
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string RunWord(const ProgramScript& p) {
    switch (p.run) {
        case ProgramScript::Run::AtOnce: return "at-once";
        case ProgramScript::Run::For: return std::to_string(p.runMs);
        case ProgramScript::Run::Never: return "never";
    }
    return "at-once";
}

bool ParseRun(const std::string& text, ProgramScript* p) {
    if (text == "at-once")
        p->run = ProgramScript::Run::AtOnce;
    else if (text == "never")
        p->run = ProgramScript::Run::Never;
    else if (ParseNumber(text, &p->runMs))
        p->run = ProgramScript::Run::For;
    else
        return false;
    return true;
}

bool ParseUnregister(const std::string& text, DllScript* d) {
    std::istringstream in(text);
    std::string word, code, extra;
    in >> word;
    if (word == "faults" && !(in >> extra)) {
        d->unregister = DllScript::Unregister::Faults;
        return true;
    }
    DWORD value = 0;
    if (word != "returns" || !(in >> code) || !ParseNumber(code, &value) || (in >> extra)) return false;
    d->unregister = DllScript::Unregister::Returns;
    d->result = static_cast<HRESULT>(value);
    return true;
}

}  // namespace

std::string Processes::SaveText() const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    std::ostringstream out;
    out << "; Programs and simulated DLLs of the machine (each also a file on its drives), and the processes\n"
           "; running on it.\n"
           ";   [program PATH]  Runs=at-once | N (ms) | never, ExitCode=N, Removes=KEY (one a line: removed\n"
           ";                   when a run with /UnRegServer on its command line ends by itself)\n"
           ";   [dll PATH]      DllUnregisterServer=returns HRESULT | faults (none: no such export),\n"
           ";                   Removes=KEY (one a line: removed by DllUnregisterServer)\n"
           ";   [process ID]    Program, CommandLine, Started and Ends=N | never (the clock in ms), ExitCode,\n"
           ";                   Removes\n";
    for (const auto& p : impl_->programs) {
        out << "\n[program " << p.path << "]\nRuns=" << RunWord(p) << "\nExitCode=" << p.exitCode << "\n";
        for (const auto& key : p.removes) out << "Removes=" << key << "\n";
    }
    for (const auto& d : impl_->dlls) {
        out << "\n[dll " << d.path << "]\n";
        if (d.unregister == DllScript::Unregister::Returns)
            out << "DllUnregisterServer=returns " << Hex(static_cast<DWORD>(d.result)) << "\n";
        if (d.unregister == DllScript::Unregister::Faults) out << "DllUnregisterServer=faults\n";
        for (const auto& key : d.removes) out << "Removes=" << key << "\n";
    }
    for (const auto& p : impl_->processes) {
        if (p->state != ProcessRecord::State::Running) continue;
        out << "\n[process " << p->id << "]\nProgram=" << p->program << "\nCommandLine=" << p->commandLine
            << "\nStarted=" << p->startedMs << "\nEnds=" << (p->endsMs ? std::to_string(*p->endsMs) : "never")
            << "\nExitCode=" << p->endCode << "\n";
        for (const auto& key : p->removes) out << "Removes=" << key << "\n";
    }
    return out.str();
}

bool Processes::LoadText(std::string_view text, std::string* error) {
    const auto sections = ReadSectionText(text, error);
    if (!sections) return false;
    auto fail = [&](int line, const std::string& why) {
        if (error) *error = TextError(line, why);
        return false;
    };
    std::vector<ProgramScript> programs;
    std::vector<DllScript> dlls;
    std::vector<std::shared_ptr<ProcessRecord>> processes;
    DWORD nextId = 1000;
    for (const auto& section : *sections) {
        const size_t space = section.name.find(' ');
        const std::string kind = section.name.substr(0, space);
        std::string name = space == std::string::npos ? "" : section.name.substr(space + 1);
        name.erase(0, name.find_first_not_of(" \t"));
        if (kind != "program" && kind != "dll" && kind != "process")
            return fail(section.line, "sections are [program PATH], [dll PATH] or [process ID]");
        if (name.empty())
            return fail(section.line, "[" + kind + "] needs a " + (kind == "process" ? "number" : "path"));
        if (kind == "program") {
            for (const auto& p : programs)
                if (ProgramKey(p.path) == ProgramKey(name)) return fail(section.line, name + " is listed twice");
            ProgramScript p;
            p.path = name;
            for (const auto& [key, value, line] : section.entries) {
                if (key == "Runs") {
                    if (!ParseRun(value, &p)) return fail(line, "Runs is 'at-once', a number of ms or 'never'");
                } else if (key == "ExitCode") {
                    if (!ParseNumber(value, &p.exitCode)) return fail(line, "ExitCode needs a number");
                } else if (key == "Removes") {
                    p.removes.push_back(value);
                } else {
                    return fail(line, "unknown key '" + key + "' (a program has Runs, ExitCode, Removes)");
                }
            }
            programs.push_back(std::move(p));
        } else if (kind == "dll") {
            for (const auto& d : dlls)
                if (ProgramKey(d.path) == ProgramKey(name)) return fail(section.line, name + " is listed twice");
            DllScript d;
            d.path = name;
            for (const auto& [key, value, line] : section.entries) {
                if (key == "DllUnregisterServer") {
                    if (!ParseUnregister(value, &d))
                        return fail(line, "DllUnregisterServer is 'returns HRESULT' or 'faults'");
                } else if (key == "Removes") {
                    d.removes.push_back(value);
                } else {
                    return fail(line, "unknown key '" + key + "' (a DLL has DllUnregisterServer, Removes)");
                }
            }
            dlls.push_back(std::move(d));
        } else {
            auto p = std::make_shared<ProcessRecord>();
            if (!ParseNumber(name, &p->id) || p->id == 0) return fail(section.line, "[process] needs a number");
            for (const auto& other : processes)
                if (other->id == p->id) return fail(section.line, "process " + name + " is listed twice");
            p->threadId = p->id + 4;
            for (const auto& [key, value, line] : section.entries) {
                if (key == "Program") {
                    p->program = value;
                } else if (key == "CommandLine") {
                    p->commandLine = value;
                } else if (key == "Started") {
                    if (!ParseClock(value, &p->startedMs)) return fail(line, "Started needs a number");
                } else if (key == "Ends") {
                    uint64_t ends = 0;
                    if (value == "never")
                        p->endsMs.reset();
                    else if (ParseClock(value, &ends))
                        p->endsMs = ends;
                    else
                        return fail(line, "Ends is a number or 'never'");
                } else if (key == "ExitCode") {
                    if (!ParseNumber(value, &p->endCode)) return fail(line, "ExitCode needs a number");
                } else if (key == "Removes") {
                    p->removes.push_back(value);
                } else {
                    return fail(line, "unknown key '" + key +
                                          "' (a process has Program, CommandLine, Started, Ends, ExitCode, Removes)");
                }
            }
            if (p->program.empty()) return fail(section.line, "process " + name + " names no Program");
            nextId = std::max<DWORD>(nextId, p->id + 8);
            processes.push_back(std::move(p));
        }
    }
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->programs = std::move(programs);
    impl_->dlls = std::move(dlls);
    impl_->processes = std::move(processes);
    impl_->nextId = nextId;
    return true;
}

}  // namespace winsim
