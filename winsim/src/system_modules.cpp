// The simulated KERNEL32.DLL that code finds with LoadLibraryA and GetProcAddress, the calls it
// exports for such lookups, and the machine's local time.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "loader_internal.h"
#include "machine_observers.h"

#include <map>

namespace {

// Windows 95 has no IsDebuggerPresent: code that wants it must look it up and live without it.
const winsim::ExportEntry kKernel32Exports[] = {
    {"IsDebuggerPresent", reinterpret_cast<void (*)()>(&IsDebuggerPresent)},
    {nullptr, nullptr},
};
const winsim::ExportEntry kKernel32Exports95[] = {{nullptr, nullptr}};

// Days since 1 January 1970 to a civil date (proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

// The machine is switched on at midnight on 17 February 2000 (day 11004 after 1 January 1970).
constexpr int64_t kBootDay = 11004;

void MachineTime(LPSYSTEMTIME time) {
    const uint64_t ms = winsim::Current().NowMs();
    const int64_t days = kBootDay + static_cast<int64_t>(ms / 86400000);
    const uint64_t inDay = ms % 86400000;
    int year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    time->wYear = static_cast<WORD>(year);
    time->wMonth = static_cast<WORD>(month);
    time->wDay = static_cast<WORD>(day);
    time->wDayOfWeek = static_cast<WORD>((days + 4) % 7);  // 1 January 1970 was a Thursday
    time->wHour = static_cast<WORD>(inDay / 3600000);
    time->wMinute = static_cast<WORD>(inDay / 60000 % 60);
    time->wSecond = static_cast<WORD>(inDay / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(inDay % 1000);
}

// Each machine offers its own KERNEL32.DLL, with the exports of its version of Windows.
std::map<const winsim::Machine*, HMODULE>& SystemModules() {
    static std::map<const winsim::Machine*, HMODULE> modules;
    return modules;
}

void RegisterSystemModules(winsim::Machine& machine) {
    winsim::ModuleImage image;
    image.fileName = "KERNEL32.DLL";
    image.exports = machine.Version() == winsim::OsVersion::Win95 ? kKernel32Exports95 : kKernel32Exports;
    SystemModules()[&machine] = winsim::RegisterModule(image);
}

void UnregisterSystemModules(winsim::Machine& machine) {
    auto it = SystemModules().find(&machine);
    if (it == SystemModules().end()) return;
    // Only while it is still this machine's: a test that took it away may have registered something
    // else since.
    const winsim::Module* m = winsim::ModuleFromHandle(it->second);
    if (m && (m->image.exports == kKernel32Exports || m->image.exports == kKernel32Exports95))
        winsim::UnregisterModule(it->second);
    SystemModules().erase(it);
}

[[maybe_unused]] const bool g_observing = (winsim::AddMachineObserver(&RegisterSystemModules, &UnregisterSystemModules), true);

}  // namespace

BOOL IsDebuggerPresent() { return winsim::Current().DebuggerPresent() ? TRUE : FALSE; }

void GetLocalTime(LPSYSTEMTIME time) { MachineTime(time); }

void GetSystemTime(LPSYSTEMTIME time) { MachineTime(time); }
