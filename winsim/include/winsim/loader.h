// The simulated loader: modules, their exports and resources, and LoadLibraryA of a library built
// for the host.
//
// A host shared object built from this project registers itself when it is loaded (its constructor
// plays the part of the Windows loader and calls its DllMain) and unregisters when unloaded. Other
// modules - the system DLLs the library looks up by name, a product's COM server - are registered by
// tests or by the machine folder as simulated modules with callable exports.
#pragma once

#include <winsim/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace winsim {

struct ExportEntry {
    const char* name;   // as GetProcAddress is asked for it; nullptr ends a table
    void (*address)();
};

// An export table holds every function as void (*)(), and GetProcAddress hands it back as FARPROC;
// the caller knows its real type. The detour through void (*)() is the conversion compilers accept
// between unrelated function types.
template <typename Function>
void (*AsExport(Function* function))() {
    return reinterpret_cast<void (*)()>(function);
}
template <typename Function, typename Proc>
Function ProcAs(Proc proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

struct ModuleImage {
    std::string fileName;                    // Windows path, e.g. "C:\WINNT\System32\KVISINST.DLL"
    const ExportEntry* exports = nullptr;    // nullptr-terminated, may be null
    const unsigned char* resources = nullptr;  // compiled .res image, may be null
    size_t resourcesSize = 0;
};

// Registers a module and returns its handle; the module counts as loaded once.
HMODULE RegisterModule(const ModuleImage& image);
// Forgets a module; its handle becomes invalid.
void UnregisterModule(HMODULE module);

// Whether a loaded module's file is this Windows path (full paths compared without regard to case; a
// module registered under a bare name lies where the machine placed it, as GetModuleFileNameA says).
// SetupAPI asks it to find a file in use.
bool IsModuleFileLoaded(std::string_view windowsPath);

// Tells LoadLibraryA which host shared object stands for a DLL name ("KVISINST.DLL"). Loading it
// dlopen()s the object, whose constructor registers the module under the name given here.
void MapLibrary(const std::string& dllName, const std::string& hostSharedObject);

// The name under which the host object now being dlopen()ed is to register (empty when the object
// was loaded by other means, such as being linked into the program).
std::string PendingLibraryName();

}  // namespace winsim

namespace winsim {

// What a simulated module's export throws to stand for a fault in its code (an access violation
// by default). The caller's guard catches it as it would the structured exception; it is not a
// std::exception, so that code catching those does not swallow it by mistake.
struct SimulatedFault {
    DWORD code = 0xC0000005;
    std::string where;  // "C:\...\kvcom.dll!DllUnregisterServer"
};

}  // namespace winsim
