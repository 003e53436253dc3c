// The programs, simulated DLLs and processes of a machine (processes.h).
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/text.h>
#include <winsim/win32api.h>
#include <winsim/windows.h>

#include "loader_internal.h"
#include "processes_internal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace winsim {

namespace {

constexpr size_t kSlots = 64;
constexpr size_t kPlainExports = 8;

// Exports are plain function pointers, so a simulated DLL's export cannot carry the DLL it belongs
// to. Each DLL path gets a slot once, for the life of the process; the slot's functions find its path
// (and a plain export its name) here and ask the current machine what that DLL does.
struct Slot {
    std::string key;  // ProgramKey of the DLL's path; empty while free
    std::string path;
    std::array<std::string, kPlainExports> names;  // of the plain exports, by their function
    ExportEntry exports[kPlainExports + 2] = {};
};

std::mutex g_slotLock;
std::array<Slot, kSlots> g_slots;

std::string SlotPath(size_t index) {
    std::lock_guard<std::mutex> lock(g_slotLock);
    return g_slots[index].path;
}

std::pair<std::string, std::string> SlotExport(size_t index, size_t exportIndex) {
    std::lock_guard<std::mutex> lock(g_slotLock);
    return {g_slots[index].path, g_slots[index].names[exportIndex]};
}

template <size_t Index>
HRESULT WINAPI UnregisterServerAt() {
    return Current().Processes().CallUnregister(SlotPath(Index));
}

template <size_t Index, size_t Export>
int WINAPI PlainExportAt() {
    const auto [path, name] = SlotExport(Index, Export);
    return static_cast<int>(Current().Processes().CallExport(path, name));
}

using PlainFunction = int(WINAPI*)();
using PlainFunctions = std::array<PlainFunction, kPlainExports>;

template <size_t... Index>
constexpr std::array<HRESULT(WINAPI*)(), kSlots> MakeSlotFunctions(std::index_sequence<Index...>) {
    return {&UnregisterServerAt<Index>...};
}
template <size_t Index, size_t... Export>
constexpr PlainFunctions MakePlainFunctionsOf(std::index_sequence<Export...>) {
    return {&PlainExportAt<Index, Export>...};
}
template <size_t... Index>
constexpr std::array<PlainFunctions, kSlots> MakePlainFunctions(std::index_sequence<Index...>) {
    return {MakePlainFunctionsOf<Index>(std::make_index_sequence<kPlainExports>{})...};
}
constexpr auto kSlotFunctions = MakeSlotFunctions(std::make_index_sequence<kSlots>{});
constexpr auto kPlainFunctions = MakePlainFunctions(std::make_index_sequence<kSlots>{});

const ExportEntry kNoExports[] = {{nullptr, nullptr}};

// The export table of the slot of `dll`, taking a free slot the first time and filling it with what
// the description exports now; null when no slot is left.
const ExportEntry* SlotExports(const std::string& path, const DllScript& dll) {
    const std::string key = ProgramKey(path);
    std::lock_guard<std::mutex> lock(g_slotLock);
    for (size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.key.empty()) {
            slot.key = key;
            slot.path = path;
        }
        if (slot.key != key) continue;
        size_t at = 0;
        if (dll.unregister != DllScript::Unregister::Missing)
            slot.exports[at++] = {"DllUnregisterServer", AsExport(kSlotFunctions[i])};
        for (size_t e = 0; e < dll.exports.size() && e < kPlainExports; ++e) {
            slot.names[e] = dll.exports[e].name;
            slot.exports[at++] = {slot.names[e].c_str(), AsExport(kPlainFunctions[i][e])};
        }
        slot.exports[at] = {nullptr, nullptr};
        return slot.exports;
    }
    return nullptr;
}

// Whether a command line asks for unregistration: "/UnRegServer" or "-UnRegServer" as a word of its
// own anywhere in it, as a COM server's start-up code scans its switches.
bool AsksToUnregister(std::string_view commandLine) {
    size_t at = 0;
    while (at < commandLine.size()) {
        while (at < commandLine.size() && (commandLine[at] == ' ' || commandLine[at] == '\t')) ++at;
        size_t end = at;
        while (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t') ++end;
        const std::string_view word = commandLine.substr(at, end - at);
        if (word.size() > 1 && (word[0] == '/' || word[0] == '-') && EqualsNoCase(word.substr(1), "UnRegServer"))
            return true;
        at = end;
    }
    return false;
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::string ProgramKey(std::string_view path) {
    std::string key = UpperAscii(path);
    std::replace(key.begin(), key.end(), '/', '\\');
    return key;
}

std::string DescribeProcessEvent(const ProcessEvent& e) {
    const std::string process = "process " + std::to_string(e.id);
    switch (e.kind) {
        case ProcessEvent::Kind::Started: return process + " started: " + e.path + ", command line \"" + e.text + "\"";
        case ProcessEvent::Kind::Ended: return process + " ended by itself, exit code " + std::to_string(e.code);
        case ProcessEvent::Kind::Terminated: return process + " terminated, exit code " + std::to_string(e.code);
        case ProcessEvent::Kind::EndedByRestart: return process + " ended by the restart";
        case ProcessEvent::Kind::ModuleLoaded: return e.path + " loaded";
        case ProcessEvent::Kind::ExportCalled: return e.path + " " + e.text + " called -> " + Hex(e.code);
        case ProcessEvent::Kind::ExportFaulted: return e.path + " " + e.text + " called -> faulted";
        case ProcessEvent::Kind::ModuleFreed: return e.path + " freed";
        case ProcessEvent::Kind::ThreadMessage:
            return e.text + " posted to thread " + std::to_string(e.code) + " of " + process;
        case ProcessEvent::Kind::WindowClosed: return "window \"" + e.text + "\" of " + process + " closed";
        case ProcessEvent::Kind::NotStarted:
            return process + " could not start \"" + e.text + "\": no program it describes";
    }
    return process;
}

ProgramScript* Processes::Impl::FindProgram(std::string_view path) {
    const std::string key = ProgramKey(path);
    for (auto& p : programs)
        if (ProgramKey(p.path) == key) return &p;
    return nullptr;
}

const ProgramScript* Processes::Impl::DescribedProgram(std::string_view path) {
    if (const ProgramScript* p = FindProgram(path)) return p;
    runOnce.path = RunOnceProgramPath(machine);
    runOnce.run = ProgramScript::Run::RunOnce;
    return ProgramKey(path) == ProgramKey(runOnce.path) ? &runOnce : nullptr;
}

DllScript* Processes::Impl::FindDll(std::string_view path) {
    const std::string key = ProgramKey(path);
    for (auto& d : dlls)
        if (ProgramKey(d.path) == key) return &d;
    return nullptr;
}

void Processes::Impl::Settle() {
    const uint64_t now = machine.NowMs();
    for (;;) {
        // The process due first (the first listed of those due together); what it ends may start
        // another runonce entry, which may be due too.
        ProcessRecord* p = nullptr;
        for (auto& q : processes)
            if (q->state == ProcessRecord::State::Running && q->endsMs && *q->endsMs <= now &&
                (!p || *q->endsMs < *p->endsMs))
                p = q.get();
        if (!p) return;
        for (const auto& key : p->removes) machine.Reg().DeleteKey(key);
        p->state = ProcessRecord::State::Ended;
        p->exitCode = p->endCode;
        CloseWindows(*p);
        events.push_back({ProcessEvent::Kind::Ended, p->program, "", p->id, p->exitCode});
        EntryEnded(*p, *p->endsMs);
    }
}

namespace {

const char kRunOnceKey[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The entries a runonce reads as it starts: on 95/98 those of the "Setup" subkey first.
std::vector<ProcessRecord::RunOnceEntry> RunOnceEntries(Machine& machine) {
    std::vector<ProcessRecord::RunOnceEntry> entries;
    std::vector<std::string> keys;
    if (!IsNtFamily(machine.Version())) keys.push_back(std::string(kRunOnceKey) + "\\Setup");
    keys.push_back(kRunOnceKey);
    for (const std::string& key : keys)
        for (const auto& value : machine.Reg().Values(key))
            if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
                entries.push_back({key, value.name, machine.Reg().StringValue(key, value.name).value_or("")});
    return entries;
}

// Whether an entry's value stays until its command has ended: a '!' among the marks its name begins with.
bool DeletesAfter(const std::string& name) {
    const size_t marks = name.find_first_not_of("!*");
    return name.substr(0, marks).find('!') != std::string::npos;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

}  // namespace

std::shared_ptr<ProcessRecord> Processes::Impl::StartAt(const ProgramScript& program, std::string commandLine,
                                                        uint64_t startMs) {
    auto p = std::make_shared<ProcessRecord>();
    p->id = NextId();
    p->program = program.path;
    p->startedMs = startMs;
    const std::vector<ThreadScript> oneThread(1);
    for (const ThreadScript& t : program.threads.empty() ? oneThread : program.threads) {
        std::optional<uint64_t> queueFrom;
        if (t.queueAfterMs) queueFrom = p->startedMs + *t.queueAfterMs;
        p->threads.push_back({NextId(), queueFrom});
    }
    p->threadId = p->threads.front().id;
    p->quit = program.quit;
    p->quitMs = program.quitMs;
    p->account = program.account;
    for (const WindowScript& w : program.windows)
        p->windows.push_back(machine.Windows().CreateForProcess(w.className, w.title, p->id, w.closesOnAttempt));
    if (program.run == ProgramScript::Run::AtOnce) p->endsMs = p->startedMs;
    if (program.run == ProgramScript::Run::For) p->endsMs = p->startedMs + program.runMs;
    p->endCode = program.exitCode;
    if (AsksToUnregister(commandLine)) p->removes = program.removes;
    p->commandLine = std::move(commandLine);
    processes.push_back(p);
    events.push_back({ProcessEvent::Kind::Started, p->program, p->commandLine, p->id, 0});
    if (program.run == ProgramScript::Run::RunOnce) {
        p->entries = RunOnceEntries(machine);
        RunNextEntry(*p, startMs);
    }
    return p;
}

void Processes::Impl::RunNextEntry(ProcessRecord& runOnce, uint64_t atMs) {
    runOnce.entryProcess = 0;
    if (!runOnce.deletesAfter.key.empty())
        machine.Reg().DeleteValue(runOnce.deletesAfter.key, runOnce.deletesAfter.name);
    runOnce.deletesAfter = {};
    while (!runOnce.entries.empty()) {
        const ProcessRecord::RunOnceEntry entry = runOnce.entries.front();
        runOnce.entries.erase(runOnce.entries.begin());
        const bool deletesAfter = DeletesAfter(entry.name);
        if (!deletesAfter) machine.Reg().DeleteValue(entry.key, entry.name);
        const auto file = ProgramOfCommandLine(machine, entry.command, FolderOf(runOnce.program));
        const ProgramScript* program = file ? DescribedProgram(*file) : nullptr;
        // A runonce run by runonce would read a '!' entry again and again.
        if (!program || program->run == ProgramScript::Run::RunOnce) {
            events.push_back({ProcessEvent::Kind::NotStarted, runOnce.program, entry.command, runOnce.id, 0});
            continue;
        }
        ProgramScript started = *program;
        started.path = *file;
        runOnce.entryProcess = StartAt(started, entry.command, atMs)->id;
        if (deletesAfter) runOnce.deletesAfter = entry;
        return;
    }
    runOnce.endsMs = atMs;
    runOnce.endCode = 0;
}

void Processes::Impl::EntryEnded(const ProcessRecord& process, uint64_t atMs) {
    // Copied: starting the next entry adds to the list.
    const auto all = processes;
    for (const auto& p : all)
        if (p->state == ProcessRecord::State::Running && p->entryProcess != 0 && p->entryProcess == process.id)
            RunNextEntry(*p, atMs);
}

DWORD Processes::Impl::NextId() {
    DWORD id = nextId;
    while (id == ::GetCurrentProcessId() || id == ::GetCurrentThreadId()) id += 4;
    nextId = id + 4;
    return id;
}

void Processes::Impl::CloseWindows(ProcessRecord& process) {
    for (HWND window : process.windows) machine.Windows().Destroy(window);
    process.windows.clear();
}

void Processes::Impl::EndNow(ProcessRecord& process, DWORD exitCode) {
    const uint64_t now = machine.NowMs();
    if (!process.endsMs || *process.endsMs > now) {
        process.endsMs = now;
        process.endCode = exitCode;
    }
    Settle();
}

Processes::Processes(Machine& machine) : impl_(std::make_unique<Impl>(machine)) {}

Processes::~Processes() { ForgetModulesDescribedBy(this); }

void Processes::SetProgram(const ProgramScript& script) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    if (ProgramScript* p = impl_->FindProgram(script.path))
        *p = script;
    else
        impl_->programs.push_back(script);
}

void Processes::SetDll(const DllScript& script) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    if (DllScript* d = impl_->FindDll(script.path))
        *d = script;
    else
        impl_->dlls.push_back(script);
}

std::optional<ProgramScript> Processes::Program(std::string_view path) const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    const ProgramScript* p = impl_->DescribedProgram(path);
    return p ? std::optional<ProgramScript>(*p) : std::nullopt;
}

std::optional<DllScript> Processes::Dll(std::string_view path) const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    const DllScript* d = impl_->FindDll(path);
    return d ? std::optional<DllScript>(*d) : std::nullopt;
}

std::vector<ProcessRecord> Processes::List() {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    std::vector<ProcessRecord> list;
    for (const auto& p : impl_->processes) list.push_back(*p);
    return list;
}

void Processes::Settle() {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
}

std::vector<ProcessRecord> Processes::Running() {
    auto list = List();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const ProcessRecord& p) { return p.state != ProcessRecord::State::Running; }),
               list.end());
    return list;
}

std::vector<ProcessRecord> Processes::EndAll() {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    std::vector<ProcessRecord> ended;
    for (auto& p : impl_->processes) {
        if (p->state != ProcessRecord::State::Running) continue;
        p->state = ProcessRecord::State::Terminated;
        p->exitCode = 0;
        impl_->CloseWindows(*p);
        impl_->events.push_back({ProcessEvent::Kind::EndedByRestart, p->program, "", p->id, 0});
        ended.push_back(*p);
    }
    return ended;
}

std::vector<ProcessEvent> Processes::Events() const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    return impl_->events;
}

void Processes::ClearEvents() {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->events.clear();
}

std::shared_ptr<ProcessRecord> Processes::Start(const ProgramScript& program, std::string commandLine) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    auto p = impl_->StartAt(program, std::move(commandLine), impl_->machine.NowMs());
    // A program that ends at once has ended before anyone can look.
    impl_->Settle();
    return p;
}

DWORD Processes::Wait(const std::shared_ptr<ProcessRecord>& process, DWORD milliseconds) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    Machine& machine = impl_->machine;
    impl_->Settle();
    if (process->state != ProcessRecord::State::Running) return WAIT_OBJECT_0;
    // One that never ends by itself nor waits for an entry would never return.
    if (milliseconds == INFINITE && !process->endsMs && process->entryProcess == 0) return WAIT_FAILED;
    const uint64_t deadline = milliseconds == INFINITE ? UINT64_MAX : machine.NowMs() + milliseconds;
    for (;;) {
        std::optional<uint64_t> next;
        for (const auto& p : impl_->processes)
            if (p->state == ProcessRecord::State::Running && p->endsMs && (!next || *p->endsMs < *next))
                next = p->endsMs;
        if (!next || *next > deadline) {
            if (milliseconds == INFINITE) return WAIT_FAILED;
            machine.Advance(deadline - machine.NowMs());
            impl_->Settle();
            return WAIT_TIMEOUT;
        }
        machine.Advance(*next - machine.NowMs());
        impl_->Settle();
        if (process->state != ProcessRecord::State::Running) return WAIT_OBJECT_0;
    }
}

DWORD Processes::ExitCode(const std::shared_ptr<ProcessRecord>& process) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    return process->exitCode;
}

bool Processes::Terminate(const std::shared_ptr<ProcessRecord>& process, DWORD exitCode) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    if (process->state != ProcessRecord::State::Running) return false;
    process->state = ProcessRecord::State::Terminated;
    process->exitCode = exitCode;
    impl_->CloseWindows(*process);
    impl_->events.push_back({ProcessEvent::Kind::Terminated, process->program, "", process->id, exitCode});
    impl_->EntryEnded(*process, impl_->machine.NowMs());
    impl_->Settle();
    return true;
}

bool Processes::Owns(const std::shared_ptr<ProcessRecord>& process) const {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    return std::find(impl_->processes.begin(), impl_->processes.end(), process) != impl_->processes.end();
}

bool Processes::ExportsOf(std::string_view fullPath, const ExportEntry** exports) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    const DllScript* dll = impl_->FindDll(fullPath);
    if (!dll) return false;
    *exports = dll->unregister == DllScript::Unregister::Missing && dll->exports.empty()
                   ? kNoExports
                   : SlotExports(std::string(fullPath), *dll);
    return true;
}

void Processes::NoteModuleLoaded(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->events.push_back({ProcessEvent::Kind::ModuleLoaded, path, "", 0, 0});
}

void Processes::NoteModuleFreed(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->events.push_back({ProcessEvent::Kind::ModuleFreed, path, "", 0, 0});
}

HRESULT Processes::CallUnregister(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    const char* const name = "DllUnregisterServer";
    const DllScript* dll = impl_->FindDll(path);
    // The description went while the module was loaded: the code is there, what it does is not.
    if (!dll || dll->unregister == DllScript::Unregister::Missing) {
        impl_->events.push_back({ProcessEvent::Kind::ExportCalled, path, name, 0, static_cast<DWORD>(E_UNEXPECTED)});
        return E_UNEXPECTED;
    }
    for (const auto& key : dll->removes) impl_->machine.Reg().DeleteKey(key);
    if (dll->unregister == DllScript::Unregister::Faults) {
        impl_->events.push_back({ProcessEvent::Kind::ExportFaulted, path, name, 0, 0});
        throw SimulatedFault{0xC0000005, path + "!" + name};
    }
    impl_->events.push_back({ProcessEvent::Kind::ExportCalled, path, name, 0, static_cast<DWORD>(dll->result)});
    return dll->result;
}

DWORD Processes::CallExport(const std::string& path, const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    DWORD result = 0;
    if (const DllScript* dll = impl_->FindDll(path))
        for (const auto& e : dll->exports)
            if (e.name == name) result = e.result;
    impl_->events.push_back({ProcessEvent::Kind::ExportCalled, path, name, 0, result});
    return result;
}

std::shared_ptr<ProcessRecord> Processes::FindRunning(DWORD processId) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    for (const auto& p : impl_->processes)
        if (p->id == processId && p->state == ProcessRecord::State::Running) return p;
    return nullptr;
}

namespace {

std::string MessageName(UINT message) {
    switch (message) {
        case WM_QUIT: return "WM_QUIT";
        case WM_CLOSE: return "WM_CLOSE";
        case WM_NULL: return "WM_NULL";
    }
    return "message " + Hex(message);
}

}  // namespace

DWORD Processes::PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    const uint64_t now = impl_->machine.NowMs();
    for (const auto& p : impl_->processes) {
        if (p->state != ProcessRecord::State::Running) continue;
        for (const auto& t : p->threads) {
            if (t.id != threadId) continue;
            if (!t.queueFromMs || *t.queueFromMs > now) return ERROR_INVALID_THREAD_ID;
            impl_->events.push_back(
                {ProcessEvent::Kind::ThreadMessage, p->program, MessageName(message), p->id, threadId});
            if (message == WM_QUIT && p->quit == ProgramScript::Quit::Ends)
                impl_->EndNow(*p, static_cast<DWORD>(wParam));
            if (message == WM_QUIT && p->quit == ProgramScript::Quit::After &&
                (!p->endsMs || *p->endsMs > now + p->quitMs)) {
                p->endsMs = now + p->quitMs;
                p->endCode = static_cast<DWORD>(wParam);
                impl_->Settle();
            }
            return ERROR_SUCCESS;
        }
    }
    return ERROR_INVALID_THREAD_ID;
}

void Processes::CloseAttempt(HWND window) {
    std::lock_guard<std::recursive_mutex> lock(impl_->lock);
    impl_->Settle();
    winsim::Windows& windows = impl_->machine.Windows();
    for (const auto& p : impl_->processes) {
        if (p->state != ProcessRecord::State::Running) continue;
        auto it = std::find(p->windows.begin(), p->windows.end(), window);
        if (it == p->windows.end()) continue;
        const Windows::Window* w = windows.Find(window);
        if (!w) return;
        const DWORD closesOn = w->closesOnAttempt;
        const std::string className = w->className;
        if (windows.CountCloseAttempt(window) < closesOn || closesOn == 0) return;
        windows.Destroy(window);
        p->windows.erase(it);
        impl_->events.push_back({ProcessEvent::Kind::WindowClosed, p->program, className, p->id, 0});
        if (std::none_of(p->windows.begin(), p->windows.end(), [&](HWND h) { return windows.Find(h) != nullptr; }))
            impl_->EndNow(*p, 0);
        return;
    }
}

}  // namespace winsim
