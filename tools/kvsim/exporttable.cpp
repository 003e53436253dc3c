#include "tools/kvsim/exporttable.h"

#include "kvisinst/exports.h"

#ifndef _WIN32
#include <winsim/loader.h>
#endif

#include <cerrno>
#include <filesystem>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace kvsim {

namespace {

// An export found by GetProcAddress as the function type the table gives it; the detour through
// void (*)() is the conversion compilers accept between unrelated function types.
template <typename Function>
Function ProcAs(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

template <typename T>
T Convert(const ArgValue& v);
template <>
void* Convert<void*>(const ArgValue& v) {
    return v.inf;
}
template <>
const char* Convert<const char*>(const ArgValue& v) {
    return v.isNull ? nullptr : v.text.c_str();
}
template <>
char* Convert<char*>(const ArgValue& v) {
    // The library takes the text as char* but does not change it.
    return v.isNull ? nullptr : const_cast<char*>(v.text.c_str());
}
template <>
int Convert<int>(const ArgValue& v) {
    return static_cast<int>(v.number);
}
template <>
tagSERVICE_CONTROL Convert<tagSERVICE_CONTROL>(const ArgValue& v) {
    return static_cast<tagSERVICE_CONTROL>(v.number);
}

template <typename R, typename... A, typename F, size_t... I>
long long CallWith(F function, const std::vector<ArgValue>& args, std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
        function(Convert<A>(args[I])...);
        return 0;
    } else {
        return static_cast<long long>(function(Convert<A>(args[I])...));
    }
}

// The function's type: __cdecl, or WINAPI (__stdcall, which matters to a 32-bit program only).
template <bool Winapi, typename R, typename... A>
struct FunctionType {
    using Type = R (*)(A...);
};
template <typename R, typename... A>
struct FunctionType<true, R, A...> {
    using Type = R(WINAPI*)(A...);
};

// Calls `function` as R(A...), the signature the table gives it.
template <typename R, typename... A>
long long Invoke(FARPROC function, const std::vector<ArgValue>& args) {
    return CallWith<R, A...>(ProcAs<typename FunctionType<false, R, A...>::Type>(function), args,
                             std::index_sequence_for<A...>{});
}

// The same for an export declared WINAPI.
template <typename R, typename... A>
long long InvokeWinapi(FARPROC function, const std::vector<ArgValue>& args) {
    return CallWith<R, A...>(ProcAs<typename FunctionType<true, R, A...>::Type>(function), args,
                             std::index_sequence_for<A...>{});
}

// VoidInstallUninstall called by kvsim call: as rundll32 would, with an empty command line.
long long InvokeRundll32Entry(FARPROC function, const std::vector<ArgValue>&) {
    static const WCHAR empty[1] = {0};
    CallRundll32Entry(function, GetModuleHandleA("KVISINST.DLL"), empty);
    return 0;
}

}  // namespace

#ifndef _WIN32
std::string LibraryPath() {
    namespace fs = std::filesystem;
    if (const char* given = std::getenv("KVSIM_LIBRARY")) return given;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && fs::exists(self.parent_path() / "libkvisinst.so")) return (self.parent_path() / "libkvisinst.so").string();
    return KVISINST_SO;
}

#endif

int AskNeedReboot(HMODULE library) {
    const FARPROC needReboot = GetProcAddress(library, ExportedName(*FindExport("NeedReboot")));
    return needReboot ? ProcAs<int (*)()>(needReboot)() : -1;
}

void CallRundll32Entry(FARPROC entry, HMODULE library, const void* commandLine) {
    // The text is read as the entry's name says (wide for a ...W entry); the pointer is the same.
    ProcAs<void(WINAPI*)(HWND, HINSTANCE, void*, int)>(entry)(
        nullptr, reinterpret_cast<HINSTANCE>(library), const_cast<void*>(commandLine), SW_SHOWNORMAL);
}

const std::vector<ExportInfo>& ExportTable() {
    using K = ArgKind;
    static const std::vector<ExportInfo> table = {
        // The install entry points: an INF here is a file name in the source directory, not an open INF.
        {"InstallFromINF", "?InstallFromINF@@YAJPEADH0000@Z", "?InstallFromINF@@YAJPADH0000@Z",
         {K::String, K::Int, K::String, K::String, K::String, K::String},
         "INF INSTALL SOURCE_DIR|null SECTION|null PRE|null POST|null", ResultKind::HResult,
         Invoke<LONG, char*, int, char*, char*, char*, char*>},
        {"InstallFromRegistry", "?InstallFromRegistry@@YAJH@Z", "?InstallFromRegistry@@YAJH@Z", {K::Int}, "ADD",
         ResultKind::HResult, Invoke<LONG, int>, true},
        {"InstallUninstall", "?InstallUninstall@@YAJXZ", "?InstallUninstall@@YAJXZ", {}, "", ResultKind::HResult,
         Invoke<LONG>, true},
        // void __stdcall (HWND, HINSTANCE, unsigned short *, int): rundll32's shape, its arguments unused.
        {"VoidInstallUninstall", "?VoidInstallUninstall@@YAXPEAUHWND__@@PEAUHINSTANCE__@@PEAGH@Z",
         "?VoidInstallUninstall@@YGXPAUHWND__@@PAUHINSTANCE__@@PAGH@Z", {}, "", ResultKind::None,
         InvokeRundll32Entry, true, true},
        {"NeedReboot", "?NeedReboot@@YAHXZ", "?NeedReboot@@YAHXZ", {}, "", ResultKind::Int, Invoke<int>},
        {"ControlService", "?ControlService@@YAJPEAXPEBDW4tagSERVICE_CONTROL@@@Z",
         "?ControlService@@YAJPAXPBDW4tagSERVICE_CONTROL@@@Z",
         {K::Inf, K::String, K::ServiceAction}, "INF SECTION ACTION", ResultKind::HResult,
         Invoke<LONG, void*, const char*, tagSERVICE_CONTROL>},
        {"InstallDrivers", "?InstallDrivers@@YAJPEAXHPEBD@Z", "?InstallDrivers@@YAJPAXHPBD@Z", {K::Inf, K::Int, K::String}, "INF INSTALL SECTION|null",
         ResultKind::HResult, Invoke<LONG, void*, int, const char*>},
        {"StopServices", "?StopServices@@YAJPEAXHPEBD@Z", "?StopServices@@YAJPAXHPBD@Z", {K::Inf, K::Int, K::String}, "INF STOP SECTION|null",
         ResultKind::HResult, Invoke<LONG, void*, int, const char*>},
        {"SetupInstallDrivers", "SetupInstallDrivers", "SetupInstallDrivers", {K::String}, "INF_PATH", ResultKind::HResult,
         InvokeWinapi<LONG, const char*>},
        {"SetupUnInstallDrivers", "SetupUnInstallDrivers", "SetupUnInstallDrivers", {K::String}, "INF_PATH", ResultKind::HResult,
         InvokeWinapi<LONG, const char*>},
        {"SetupStopServices", "SetupStopServices", "SetupStopServices", {K::String}, "INF_PATH", ResultKind::HResult,
         InvokeWinapi<LONG, const char*>},
        {"InstallShortcuts", "?InstallShortcuts@@YAJPEAXHPEBD@Z", "?InstallShortcuts@@YAJPAXHPBD@Z",
         {K::Inf, K::Int, K::String}, "INF INSTALL SECTION|null", ResultKind::HResult,
         Invoke<LONG, void*, int, const char*>},
        {"AddRemoveShortcut", "?AddRemoveShortcut@@YAJPEAXPEBD1H@Z", "?AddRemoveShortcut@@YAJPAXPBD1H@Z",
         {K::Inf, K::String, K::String, K::Int}, "INF FOLDER_SECTION TEMPLATE|null INSTALL", ResultKind::HResult,
         Invoke<LONG, void*, const char*, const char*, int>},
        {"RemoveDevices", "RemoveDevices", "RemoveDevices", {}, "", ResultKind::Int, Invoke<int>},
        {"ReEnumerateDevices", "ReEnumerateDevices", "ReEnumerateDevices", {}, "", ResultKind::None, Invoke<void>},
        {"CleanUp", "CleanUp", "CleanUp", {K::String}, "EDITION", ResultKind::Int, InvokeWinapi<int, char*>},
        // int __cdecl StopHost(char const *): the 64-bit decorated name is the one called; the plain
        // name, exported as well, behaves the same.
        {"StopHost", "?StopHost@@YAHPEBD@Z", "?StopHost@@YAHPBD@Z", {K::String}, "ANY_TEXT|null", ResultKind::Bool,
         Invoke<int, const char*>},
        {"CleanUpPS", "CleanUpPS", "?CleanUpPS@@YGHPAD@Z", {K::String}, "DIRECTORY", ResultKind::Int,
         InvokeWinapi<int, char*>},
        {"ClearPrivateSpace", "ClearPrivateSpace", "ClearPrivateSpace", {}, "", ResultKind::None, Invoke<void>},
        {"UnregSystemStuff", "UnregSystemStuff", "UnregSystemStuff", {}, "", ResultKind::Int, Invoke<int>},
        {"IsDomainController", "IsDomainController", "IsDomainController", {}, "", ResultKind::Int, Invoke<int>},
        {"GetServicePackNumber", "GetServicePackNumber", "GetServicePackNumber", {}, "", ResultKind::Int, Invoke<int>},
        {"IsVer100", "IsVer100", "IsVer100", {}, "", ResultKind::Int, Invoke<int>},
    };
    return table;
}

const ExportInfo* FindExport(const std::string& name) {
    for (const auto& e : ExportTable())
        if (name == e.name || name == e.exported || name == e.exported32) return &e;
    return nullptr;
}

const char* ExportedName(const ExportInfo& info) {
#if defined(_WIN32) && !defined(_WIN64)
    return info.exported32;
#else
    return info.exported;
#endif
}

bool ParseArg(ArgKind kind, const std::string& text, ArgValue* out, std::string* error) {
    out->kind = kind;
    out->text = text;
    auto number = [&](long long* value) {
        if (text.empty()) return false;
        char* end = nullptr;
        errno = 0;
        *value = std::strtoll(text.c_str(), &end, 0);
        return *end == '\0' && errno == 0 && *value >= INT32_MIN && *value <= 0xFFFFFFFFLL;
    };
    switch (kind) {
    case ArgKind::Inf:
        if (text.empty()) {
            *error = "an INF path is needed";
            return false;
        }
        return true;
    case ArgKind::String:
        out->isNull = text == "null";
        return true;
    case ArgKind::Int:
        if (!number(&out->number)) {
            *error = "'" + text + "' is not an integer";
            return false;
        }
        return true;
    case ArgKind::ServiceAction: {
        static const char* const names[] = {"SVC_START", "SVC_STOP", "SVC_CREATE", "SVC_DELETE"};
        for (int i = 0; i < 4; ++i)
            if (text == names[i]) {
                out->number = i;
                return true;
            }
        if (!number(&out->number)) {
            *error = "'" + text + "' is not SVC_START, SVC_STOP, SVC_CREATE, SVC_DELETE or a number";
            return false;
        }
        return true;
    }
    }
    return false;
}

std::string ResultMeaning(LONG result) {
    switch (static_cast<DWORD>(result)) {
    case 0: return "S_OK";
    case 1: return "S_FALSE: done, a restart is needed";
    case 0x80004005: return "E_FAIL";
    case 0x80070057: return "E_INVALIDARG";
    case 0x8007000E: return "E_OUTOFMEMORY";
    case 0x8000FFFF: return "E_UNEXPECTED";
    case 0x80070005: return "E_ACCESSDENIED";
    }
    if ((static_cast<DWORD>(result) & 0xFFFF0000) == 0x80070000)
        return "Win32 error " + std::to_string(static_cast<DWORD>(result) & 0xFFFF);
    return result < 0 ? "a failure" : "a success";
}

}  // namespace kvsim
