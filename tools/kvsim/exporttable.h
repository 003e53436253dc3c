// The library's exports as kvsim calls them: the one table of their names and signatures. It compiles
// for Windows too, where the scenario runner (tools/scenario) calls the real DLL through it.
#pragma once

#include "kvisinst/common/win32.h"

#include <string>
#include <vector>

namespace kvsim {

enum class ArgKind {
    Inf,            // an open INF handle, given as the INF's path on the machine
    String,         // text; the word null passes a null pointer
    Int,            // decimal or 0x hexadecimal
    ServiceAction,  // SVC_START, SVC_STOP, SVC_CREATE, SVC_DELETE or a number
};

// Bool: nonzero on success, 0 on failure; None: the function returns nothing.
enum class ResultKind { HResult, Int, Bool, None };

struct ArgValue {
    ArgKind kind;
    std::string text;
    bool isNull = false;
    long long number = 0;
    HINF inf = nullptr;
};

struct ExportInfo {
    const char* name;      // the function's own name
    const char* exported;  // the name GetProcAddress is asked for (decorated or plain; the 64-bit form,
                           // which the host build exports)
    const char* exported32;  // the 32-bit product's name for it, accepted as well
    std::vector<ArgKind> args;
    const char* argNames;  // for messages: "INF SECTION ACTION"
    ResultKind result;
    long long (*invoke)(FARPROC function, const std::vector<ArgValue>& args);
    // A drain of the install queues: kvsim asks NeedReboot afterwards, in the same load of the library.
    bool drains = false;
    // Shaped as a rundll32 entry point: void (HWND, HINSTANCE, command line, show command).
    bool rundll32Entry = false;
};

const std::vector<ExportInfo>& ExportTable();

// By the function's own name or its exported name; nullptr when the library has no such export.
const ExportInfo* FindExport(const std::string& name);

// The name to ask GetProcAddress for in this build: the 32-bit product's name in a 32-bit Windows
// program, else the 64-bit form (which the host build exports too).
const char* ExportedName(const ExportInfo& info);

#ifndef _WIN32

// The built library: KVSIM_LIBRARY if set, else libkvisinst.so beside kvsim, else the build's own.
std::string LibraryPath();

#endif

// Calls the loaded library's NeedReboot: the reboot flag a queue drain of this load has set.
int AskNeedReboot(HMODULE library);

// Calls a rundll32 entry point as rundll32 does: no window, the library's module handle, the command
// line (wide or ANSI, as the entry's name says), SW_SHOWNORMAL.
void CallRundll32Entry(FARPROC entry, HMODULE library, const void* commandLine);

// Parses one argument; false with the reason when the text does not fit the kind.
bool ParseArg(ArgKind kind, const std::string& text, ArgValue* out, std::string* error);

// "S_OK", "E_FAIL", "Win32 error 1060", ... for a result of HResult kind.
std::string ResultMeaning(LONG result);

}  // namespace kvsim
