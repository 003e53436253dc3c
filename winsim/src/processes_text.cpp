// The programs, DLLs and running processes of a machine as text, the programs.txt of a machine
// folder, read by the machine folder's section reader (text.h). The syntax is in processes.h.
#include <winsim/text.h>
#include <winsim/windows.h>

#include "processes_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cctype>
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
        case ProgramScript::Run::RunOnce: return "runonce";
    }
    return "at-once";
}

bool ParseRun(const std::string& text, ProgramScript* p) {
    if (text == "at-once")
        p->run = ProgramScript::Run::AtOnce;
    else if (text == "never")
        p->run = ProgramScript::Run::Never;
    else if (text == "runonce")
        p->run = ProgramScript::Run::RunOnce;
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

// "NAME" or "NAME returns N" (a DLL's plain export).
bool ParseExport(const std::string& text, DllScript::Export* e) {
    std::istringstream in(text);
    std::string word, number, extra;
    if (!(in >> e->name) || e->name == "DllUnregisterServer") return false;
    if (!(in >> word)) return true;
    return word == "returns" && (in >> number) && ParseNumber(number, &e->result) && !(in >> extra);
}

// "KEY|NAME|COMMAND" (a runonce's entry) or "KEY|NAME" (its '!' value), the key never holding a '|'.
bool ParseEntry(const std::string& text, ProcessRecord::RunOnceEntry* entry, bool withCommand) {
    const size_t bar = text.find('|');
    if (bar == 0 || bar == std::string::npos) return false;
    entry->key = text.substr(0, bar);
    const size_t second = withCommand ? text.find('|', bar + 1) : std::string::npos;
    if (withCommand && second == std::string::npos) return false;
    entry->name = text.substr(bar + 1, second == std::string::npos ? second : second - bar - 1);
    if (withCommand) entry->command = text.substr(second + 1);
    return true;
}

std::string QuitWord(ProgramScript::Quit quit, DWORD quitMs) {
    switch (quit) {
        case ProgramScript::Quit::Ends: return "ends";
        case ProgramScript::Quit::After: return std::to_string(quitMs);
        case ProgramScript::Quit::Ignores: return "ignores";
    }
    return "ends";
}

bool ParseQuit(const std::string& text, ProgramScript::Quit* quit, DWORD* quitMs) {
    if (text == "ends")
        *quit = ProgramScript::Quit::Ends;
    else if (text == "ignores")
        *quit = ProgramScript::Quit::Ignores;
    else if (ParseNumber(text, quitMs))
        *quit = ProgramScript::Quit::After;
    else
        return false;
    return true;
}

const struct {
    Machine::Account account;
    const char* word;
} kAccounts[] = {
    {Machine::Account::LocalSystem, "system"},
    {Machine::Account::Administrator, "administrator"},
    {Machine::Account::User, "user"},
};

const char* AccountWord(Machine::Account account) {
    for (const auto& row : kAccounts)
        if (row.account == account) return row.word;
    return "administrator";
}

bool ParseAccount(const std::string& text, Machine::Account* account) {
    for (const auto& row : kAccounts)
        if (text == row.word) {
            *account = row.account;
            return true;
        }
    return false;
}

std::string CloseWord(DWORD closesOnAttempt) {
    if (closesOnAttempt == 0) return "never";
    return closesOnAttempt == 1 ? "closes" : std::to_string(closesOnAttempt);
}

bool ParseClose(const std::string& text, DWORD* closesOnAttempt) {
    if (text == "closes")
        *closesOnAttempt = 1;
    else if (text == "never")
        *closesOnAttempt = 0;
    else
        return ParseNumber(text, closesOnAttempt) && *closesOnAttempt > 0;
    return true;
}

// "CLASS|TITLE" or "CLASS".
WindowScript ParseWindow(const std::string& text) {
    WindowScript w;
    const size_t bar = text.find('|');
    w.className = text.substr(0, bar);
    if (bar != std::string::npos) w.title = text.substr(bar + 1);
    return w;
}

std::string WindowText(const std::string& className, const std::string& title) {
    // A class ending in a blank keeps its '|', or reading the line back would drop the blank.
    const bool blankEnd = !className.empty() && std::isspace(static_cast<unsigned char>(className.back()));
    return title.empty() && !blankEnd ? className : className + "|" + title;
}

// "queue", "queue-after N", "no-queue" (a program's thread).
bool ParseThreadScript(const std::string& text, ThreadScript* t) {
    std::istringstream in(text);
    std::string word, number, extra;
    in >> word;
    if (word == "queue" || word == "no-queue") {
        if (in >> extra) return false;
        t->queueAfterMs = word == "queue" ? std::optional<DWORD>(0) : std::nullopt;
        return true;
    }
    DWORD ms = 0;
    if (word != "queue-after" || !(in >> number) || !ParseNumber(number, &ms) || (in >> extra)) return false;
    t->queueAfterMs = ms;
    return true;
}

std::string ThreadScriptText(const ThreadScript& t) {
    if (!t.queueAfterMs) return "no-queue";
    return *t.queueAfterMs == 0 ? "queue" : "queue-after " + std::to_string(*t.queueAfterMs);
}

// "ID queue-from N" or "ID no-queue" (a running process's thread).
bool ParseThread(const std::string& text, ProcessRecord::Thread* t) {
    std::istringstream in(text);
    std::string id, word, number, extra;
    in >> id >> word;
    if (!ParseNumber(id, &t->id) || t->id == 0) return false;
    if (word == "no-queue") return !(in >> extra);
    uint64_t from = 0;
    if (word != "queue-from" || !(in >> number) || !ParseClock(number, &from) || (in >> extra)) return false;
    t->queueFromMs = from;
    return true;
}

// A window of a process as read, made once the whole text is known to be sound.
struct SavedWindow {
    WindowScript script;
    DWORD attempts = 0;
};

}  // namespace

std::string Processes::SaveText() const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    std::ostringstream out;
    out << "; Programs and simulated DLLs of the machine (each also a file on its drives), and the processes\n"
           "; running on it.\n"
           ";   [program PATH]  Runs=at-once | N (ms) | never, ExitCode=N, Removes=KEY (one a line: removed\n"
           ";                   when a run with /UnRegServer on its command line ends by itself)\n"
           ";   [dll PATH]      DllUnregisterServer=returns HRESULT | faults (none: no such export),\n"
           ";                   Removes=KEY (one a line: removed by DllUnregisterServer),\n"
           ";                   Export=NAME | NAME returns N (one a line: an export taking no arguments)\n"
           ";                   Thread=queue | queue-after N | no-queue (one a thread), OnQuit=ends | N | ignores,\n"
           ";                   Window=CLASS|TITLE with OnClose=closes | N | never, Account=system |\n"
           ";                   administrator | user\n"
           ";   [process ID]    Program, CommandLine, Started and Ends=N | never (the clock in ms), ExitCode,\n"
           ";                   Removes, Thread=ID queue-from N | ID no-queue, OnQuit, Account, Window with\n"
           ";                   OnClose and CloseAttempts; a runonce's EntryProcess=ID, DeletesAfter=KEY|NAME,\n"
           ";                   Entry=KEY|NAME|COMMAND (one a line)\n";
    for (const auto& p : impl_->programs) {
        out << "\n[program " << p.path << "]\nRuns=" << RunWord(p) << "\nExitCode=" << p.exitCode << "\n";
        for (const auto& key : p.removes) out << "Removes=" << key << "\n";
        for (const auto& t : p.threads) out << "Thread=" << ThreadScriptText(t) << "\n";
        if (p.quit != ProgramScript::Quit::Ends) out << "OnQuit=" << QuitWord(p.quit, p.quitMs) << "\n";
        for (const auto& w : p.windows)
            out << "Window=" << WindowText(w.className, w.title) << "\nOnClose=" << CloseWord(w.closesOnAttempt)
                << "\n";
        if (p.account != Machine::Account::Administrator) out << "Account=" << AccountWord(p.account) << "\n";
    }
    for (const auto& d : impl_->dlls) {
        out << "\n[dll " << d.path << "]\n";
        if (d.unregister == DllScript::Unregister::Returns)
            out << "DllUnregisterServer=returns " << Hex(static_cast<DWORD>(d.result)) << "\n";
        if (d.unregister == DllScript::Unregister::Faults) out << "DllUnregisterServer=faults\n";
        for (const auto& key : d.removes) out << "Removes=" << key << "\n";
        for (const auto& e : d.exports)
            out << "Export=" << e.name << (e.result ? " returns " + std::to_string(e.result) : std::string()) << "\n";
    }
    for (const auto& p : impl_->processes) {
        if (p->state != ProcessRecord::State::Running) continue;
        out << "\n[process " << p->id << "]\nProgram=" << p->program << "\nCommandLine=" << p->commandLine
            << "\nStarted=" << p->startedMs << "\nEnds=" << (p->endsMs ? std::to_string(*p->endsMs) : "never")
            << "\nExitCode=" << p->endCode << "\n";
        for (const auto& key : p->removes) out << "Removes=" << key << "\n";
        for (const auto& t : p->threads)
            out << "Thread=" << t.id << " "
                << (t.queueFromMs ? "queue-from " + std::to_string(*t.queueFromMs) : std::string("no-queue")) << "\n";
        out << "OnQuit=" << QuitWord(p->quit, p->quitMs) << "\nAccount=" << AccountWord(p->account) << "\n";
        for (HWND handle : p->windows) {
            const Windows::Window* w = impl_->machine.Windows().Find(handle);
            if (!w) continue;
            out << "Window=" << WindowText(w->className, w->title) << "\nOnClose=" << CloseWord(w->closesOnAttempt)
                << "\nCloseAttempts=" << w->closeAttempts << "\n";
        }
        if (p->entryProcess) out << "EntryProcess=" << p->entryProcess << "\n";
        if (!p->deletesAfter.key.empty())
            out << "DeletesAfter=" << p->deletesAfter.key << "|" << p->deletesAfter.name << "\n";
        for (const auto& e : p->entries) out << "Entry=" << e.key << "|" << e.name << "|" << e.command << "\n";
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
    std::vector<std::vector<SavedWindow>> processWindows;  // by process
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
                } else if (key == "Thread") {
                    ThreadScript t;
                    if (!ParseThreadScript(value, &t))
                        return fail(line, "Thread is 'queue', 'queue-after N' or 'no-queue'");
                    p.threads.push_back(t);
                } else if (key == "OnQuit") {
                    if (!ParseQuit(value, &p.quit, &p.quitMs))
                        return fail(line, "OnQuit is 'ends', a number of ms or 'ignores'");
                } else if (key == "Window") {
                    if (value.empty() || value[0] == '|') return fail(line, "Window needs a class name");
                    p.windows.push_back(ParseWindow(value));
                } else if (key == "OnClose") {
                    if (p.windows.empty()) return fail(line, "OnClose belongs after a Window");
                    if (!ParseClose(value, &p.windows.back().closesOnAttempt))
                        return fail(line, "OnClose is 'closes', a number of attempts or 'never'");
                } else if (key == "Account") {
                    if (!ParseAccount(value, &p.account))
                        return fail(line, "Account is 'system', 'administrator' or 'user'");
                } else {
                    return fail(line, "unknown key '" + key +
                                          "' (a program has Runs, ExitCode, Removes, Thread, OnQuit, Window, OnClose, "
                                          "Account)");
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
                } else if (key == "Export") {
                    DllScript::Export e;
                    if (!ParseExport(value, &e))
                        return fail(line, "Export is 'NAME' or 'NAME returns N' (DllUnregisterServer has its own key)");
                    for (const auto& other : d.exports)
                        if (other.name == e.name) return fail(line, "export " + e.name + " is listed twice");
                    if (d.exports.size() == 8) return fail(line, "a DLL has at most 8 Export lines");
                    d.exports.push_back(e);
                } else {
                    return fail(line, "unknown key '" + key + "' (a DLL has DllUnregisterServer, Removes, Export)");
                }
            }
            dlls.push_back(std::move(d));
        } else {
            auto p = std::make_shared<ProcessRecord>();
            if (!ParseNumber(name, &p->id) || p->id == 0) return fail(section.line, "[process] needs a number");
            for (const auto& other : processes)
                if (other->id == p->id) return fail(section.line, "process " + name + " is listed twice");
            std::vector<SavedWindow> windows;
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
                } else if (key == "Thread") {
                    ProcessRecord::Thread t;
                    if (!ParseThread(value, &t)) return fail(line, "Thread is 'ID queue-from N' or 'ID no-queue'");
                    p->threads.push_back(t);
                } else if (key == "OnQuit") {
                    if (!ParseQuit(value, &p->quit, &p->quitMs))
                        return fail(line, "OnQuit is 'ends', a number of ms or 'ignores'");
                } else if (key == "Account") {
                    if (!ParseAccount(value, &p->account))
                        return fail(line, "Account is 'system', 'administrator' or 'user'");
                } else if (key == "Window") {
                    if (value.empty() || value[0] == '|') return fail(line, "Window needs a class name");
                    windows.push_back({ParseWindow(value), 0});
                } else if (key == "OnClose" || key == "CloseAttempts") {
                    if (windows.empty()) return fail(line, key + " belongs after a Window");
                    if (key == "OnClose" && !ParseClose(value, &windows.back().script.closesOnAttempt))
                        return fail(line, "OnClose is 'closes', a number of attempts or 'never'");
                    if (key == "CloseAttempts" && !ParseNumber(value, &windows.back().attempts))
                        return fail(line, "CloseAttempts needs a number");
                } else if (key == "EntryProcess") {
                    if (!ParseNumber(value, &p->entryProcess)) return fail(line, "EntryProcess needs a number");
                } else if (key == "DeletesAfter") {
                    if (!ParseEntry(value, &p->deletesAfter, false)) return fail(line, "DeletesAfter is 'KEY|NAME'");
                } else if (key == "Entry") {
                    ProcessRecord::RunOnceEntry entry;
                    if (!ParseEntry(value, &entry, true)) return fail(line, "Entry is 'KEY|NAME|COMMAND'");
                    p->entries.push_back(entry);
                } else {
                    return fail(line, "unknown key '" + key +
                                          "' (a process has Program, CommandLine, Started, Ends, ExitCode, Removes, "
                                          "Thread, OnQuit, Account, Window, OnClose, CloseAttempts, EntryProcess, "
                                          "DeletesAfter, Entry)");
                }
            }
            if (p->program.empty()) return fail(section.line, "process " + name + " names no Program");
            if (p->threads.empty()) p->threads.push_back({p->id + 4, p->startedMs});
            p->threadId = p->threads.front().id;
            for (const auto& other : processes)
                for (const auto& t : p->threads)
                    for (const auto& u : other->threads)
                        if (t.id == u.id || t.id == other->id || u.id == p->id)
                            return fail(section.line, "process " + name + " shares an id with process " +
                                                          std::to_string(other->id));
            nextId = std::max<DWORD>(nextId, p->id + 4);
            for (const auto& t : p->threads) nextId = std::max<DWORD>(nextId, t.id + 4);
            processes.push_back(std::move(p));
            processWindows.push_back(std::move(windows));
        }
    }
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    for (const auto& p : impl_->processes) impl_->CloseWindows(*p);
    // Window handles are new ones: only the windows themselves are kept.
    for (size_t i = 0; i < processes.size(); ++i)
        for (const SavedWindow& w : processWindows[i])
            processes[i]->windows.push_back(impl_->machine.Windows().CreateForProcess(
                w.script.className, w.script.title, processes[i]->id, w.script.closesOnAttempt, w.attempts));
    impl_->programs = std::move(programs);
    impl_->dlls = std::move(dlls);
    impl_->processes = std::move(processes);
    impl_->nextId = nextId;
    return true;
}

}  // namespace winsim
