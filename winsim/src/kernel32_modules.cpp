// kernel32: LoadLibraryA, GetProcAddress and friends over the table of registered module images,
// and that table itself (loader.h), which tests and the machine fill with simulated modules. A DLL
// file on the machine's drives that no module stands for is loaded from the machine's description
// of it (processes.h), or is not a module at all.
#include <winsim/files.h>
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include "loader_internal.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <list>
#include <mutex>

namespace winsim {

namespace {

struct LibraryMapping {
    std::string dllName;  // upper case base name
    std::string hostObject;
};

std::recursive_mutex g_lock;
std::list<Module> g_modules;
std::vector<LibraryMapping> g_mappings;
std::string g_pendingName;

// "C:\x\kvisinst" -> "KVISINST.DLL": the loader compares base names, and supplies ".DLL" when the
// name has no extension (a trailing '.' means "no extension, and don't add one").
std::string BaseName(std::string_view path) {
    auto slash = path.find_last_of("\\/");
    std::string base(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (base.find('.') == std::string::npos) base += ".DLL";
    if (!base.empty() && base.back() == '.') base.pop_back();
    return UpperAscii(base);
}

Module* FindByBaseName(const std::string& base) {
    for (auto& m : g_modules)
        if (BaseName(m.image.fileName) == base) return &m;
    return nullptr;
}

// The folder of a Windows path, upper case, without its trailing '\'; a bare name is where the machine
// placed that module (the system directory unless told otherwise), as GetModuleFileNameA reports it.
std::string FolderOf(std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string_view::npos) {
        auto placed = Current().ModulePath(path);
        if (placed && placed->find('\\') != std::string::npos) return FolderOf(*placed);
        return UpperAscii(Current().SystemDirectory());
    }
    auto full = FullWindowsPath(path.substr(0, slash + 1));
    std::string folder = full ? UpperAscii(*full) : std::string();
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

// The module a load of `given` (whose base name is `base`) finds. While a module is loaded, a load
// finds it by its base name alone, as Windows does. A module that is registered but not loaded is a
// DLL on disk: a path must name its very file, and a bare name finds it only in the folders of the
// search order (LibrarySearchFolders; PATH is not simulated).
Module* FindForLoad(std::string_view given, const std::string& base) {
    const bool hasPath = given.find_first_of("\\/") != std::string_view::npos;
    for (auto& m : g_modules) {
        if (BaseName(m.image.fileName) != base) continue;
        if (m.loadCount > 0) return &m;
        const std::string folder = FolderOf(m.image.fileName);
        if (hasPath) {
            if (FolderOf(given) == folder) return &m;
            continue;
        }
        for (const std::string& searched : LibrarySearchFolders(Current()))
            if (FolderOf(searched + "\\") == folder) return &m;
    }
    return nullptr;
}

bool IsFileOnDrives(const std::string& windowsPath) {
    const auto host = HostPath(windowsPath);
    std::error_code ec;
    return host && std::filesystem::is_regular_file(*host, ec);
}

}  // namespace

std::vector<std::string> LibrarySearchFolders(const Machine& machine) {
    std::vector<std::string> folders;
    const std::string& program = machine.ProgramPath();
    const auto slash = program.find_last_of('\\');
    if (slash != std::string::npos) folders.push_back(program.substr(0, slash == 2 ? 3 : slash));
    folders.push_back(machine.CurrentDirectory());
    folders.push_back(machine.SystemDirectory());
    folders.push_back(machine.WindowsDirectory());
    return folders;
}

std::optional<std::string> FindLibraryFile(std::string_view given) {
    std::string name(given);
    const auto slash = name.find_last_of("\\/");
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (last.find('.') == std::string::npos) name += ".DLL";
    else if (name.back() == '.') name.pop_back();
    if (slash != std::string::npos) {
        auto full = FullWindowsPath(name);
        if (full && IsFileOnDrives(*full)) return full;
        return std::nullopt;
    }
    for (const std::string& folder : LibrarySearchFolders(Current())) {
        auto full = FullWindowsPath(folder + "\\" + name);
        if (full && IsFileOnDrives(*full)) return full;
    }
    return std::nullopt;
}

void ForgetModulesDescribedBy(const Processes* processes) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_modules.remove_if([&](const Module& m) { return m.describedBy == processes; });
}

Module* ModuleFromHandle(HMODULE handle) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto& m : g_modules)
        if (reinterpret_cast<HMODULE>(&m) == handle) return &m;
    return nullptr;
}

HMODULE RegisterModule(const ModuleImage& image) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    Module& m = g_modules.emplace_back();
    m.image = image;
    m.loadCount = 1;
    m.resources = ParseResourceImage(image.resources, image.resourcesSize);
    return reinterpret_cast<HMODULE>(&m);
}

void UnregisterModule(HMODULE module) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    g_modules.remove_if([&](const Module& m) { return reinterpret_cast<HMODULE>(const_cast<Module*>(&m)) == module; });
}

void MapLibrary(const std::string& dllName, const std::string& hostSharedObject) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    const std::string base = BaseName(dllName);
    for (auto& mapping : g_mappings)
        if (mapping.dllName == base) {
            mapping.hostObject = hostSharedObject;
            return;
        }
    g_mappings.push_back({base, hostSharedObject});
}

bool IsModuleFileLoaded(std::string_view windowsPath) {
    const auto wanted = FullWindowsPath(windowsPath);
    if (!wanted) return false;
    const std::string upper = UpperAscii(*wanted);
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (const auto& m : g_modules) {
        if (m.loadCount <= 0) continue;
        std::string path = m.image.fileName;
        if (path.find('\\') == std::string::npos) {
            auto placed = Current().ModulePath(path);
            path = placed ? *placed : Current().SystemDirectory() + "\\" + path;
        }
        const auto full = FullWindowsPath(path);
        if (full && UpperAscii(*full) == upper) return true;
    }
    return false;
}

std::string PendingLibraryName() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_pendingName;
}

}  // namespace winsim

using winsim::Module;

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(winsim::g_lock);
    const std::string base = winsim::BaseName(name);
    if (Module* m = winsim::FindForLoad(name, base)) {
        ++m->loadCount;
        return reinterpret_cast<HMODULE>(m);
    }
    for (auto& mapping : winsim::g_mappings) {
        if (mapping.dllName != base) continue;
        const std::string_view given(name);
        winsim::g_pendingName = given.find_first_of("\\/") != std::string_view::npos
                                    ? std::string(given)
                                    : winsim::Current().SystemDirectory() + "\\" + base;
        void* object = dlopen(mapping.hostObject.c_str(), RTLD_NOW | RTLD_LOCAL);
        winsim::g_pendingName.clear();
        Module* m = object ? winsim::FindByBaseName(base) : nullptr;
        if (!m) {
            if (object) dlclose(object);
            SetLastError(object ? ERROR_INVALID_DLL : ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        m->hostObject = object;
        return reinterpret_cast<HMODULE>(m);
    }
    const auto file = winsim::FindLibraryFile(name);
    if (!file) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    winsim::Processes& processes = winsim::Current().Processes();
    const winsim::ExportEntry* exports = nullptr;
    if (!processes.ExportsOf(*file, &exports)) {
        SetLastError(ERROR_BAD_EXE_FORMAT);  // a file, but no image the machine knows how to load
        return nullptr;
    }
    if (!exports) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Module& m = winsim::g_modules.emplace_back();
    m.image.fileName = *file;
    m.image.exports = exports;
    m.loadCount = 1;
    m.describedBy = &processes;
    processes.NoteModuleLoaded(*file);
    return reinterpret_cast<HMODULE>(&m);
}

BOOL FreeLibrary(HMODULE module) {
    std::lock_guard<std::recursive_mutex> lock(winsim::g_lock);
    Module* m = winsim::ModuleFromHandle(module);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Images registered by a test stay available when their count drops to zero, like a DLL on disk;
    // a host object goes away and its destructor unregisters it.
    if (m->loadCount > 0 && --m->loadCount == 0) {
        if (m->hostObject) {
            dlclose(m->hostObject);  // its destructor unregisters it: m is gone
        } else if (winsim::Processes* describedBy = m->describedBy) {
            const std::string path = m->image.fileName;
            winsim::UnregisterModule(module);
            describedBy->NoteModuleFreed(path);
        }
    }
    return TRUE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    Module* m = winsim::ModuleFromHandle(module);
    if (!m || !name) {
        SetLastError(m ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Lookup by ordinal is not offered: the library looks everything up by name.
    if (IS_INTRESOURCE(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    for (const winsim::ExportEntry* e = m->image.exports; e && e->name; ++e)
        if (std::strcmp(e->name, name) == 0) return reinterpret_cast<FARPROC>(e->address);
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR name) {
    std::lock_guard<std::recursive_mutex> lock(winsim::g_lock);
    if (!name) return nullptr;  // the program's own module is not simulated
    Module* m = winsim::FindByBaseName(winsim::BaseName(name));
    if (!m || m->loadCount == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(m);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path;
    if (!module) {
        // The program itself.
        path = winsim::Current().ProgramPath();
    } else {
        Module* m = winsim::ModuleFromHandle(module);
        if (!m) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = m->image.fileName;
        if (path.find('\\') == std::string::npos) {
            auto placed = winsim::Current().ModulePath(path);
            path = placed ? *placed : winsim::Current().SystemDirectory() + "\\" + path;
        }
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As on NT: a name that does not fit is cut, terminated, and the size returned.
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
