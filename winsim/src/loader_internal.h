// The module table's records, shared by kernel32_modules.cpp and kernel32_resources.cpp.
#pragma once

#include <winsim/loader.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// A resource type or name: a number, or a string compared without regard to case.
struct ResourceId {
    bool isNumber = true;
    WORD number = 0;
    std::u16string text;  // upper case
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    WORD language = 0;
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

class Machine;
class Processes;

// The folders a bare DLL name is looked for in, in order: the program's own folder, the current
// directory, the system directory, the Windows directory (PATH is not simulated).
std::vector<std::string> LibrarySearchFolders(const Machine& machine);
// The full path of the file a load of `given` finds on the current machine's drives: ".DLL" supplied
// when the name has no extension; a path names its very file, a bare name is looked for in
// LibrarySearchFolders. LoadLibraryA and VERSION.DLL's calls resolve names through it.
std::optional<std::string> FindLibraryFile(std::string_view given);

struct Module {
    ModuleImage image;
    int loadCount = 0;
    void* hostObject = nullptr;  // dlopen handle when the module is a host shared object
    // A DLL of the machine's description (processes.h): made by its first load, gone with its last
    // FreeLibrary (the next load makes it anew from the description), or with the description's owner.
    Processes* describedBy = nullptr;
    std::vector<ResourceEntry> resources;
};

Module* ModuleFromHandle(HMODULE handle);

// Removes the modules made from a machine's descriptions, when that machine goes.
void ForgetModulesDescribedBy(const Processes* processes);

// Reads the entries of a compiled resource (.res) image; a damaged image yields the entries before
// the damage.
std::vector<ResourceEntry> ParseResourceImage(const unsigned char* image, size_t size);

}  // namespace winsim
