// kvsim version: a file's version resource as the machine's VERSION.DLL reads it, its fixed part and
// the string values of its first translation.
#include "tools/kvsim/commands.h"
#include "tools/kvsim/machinefolder.h"

#include <winsim/win32api.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kvsim {

namespace {

std::string FourPart(DWORD high, DWORD low) {
    return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) + "." +
           std::to_string(low & 0xFFFF);
}

const char* FileTypeText(DWORD type) {
    static const char* const names[] = {"unknown", "application", "DLL", "driver", "font", "VxD", "", "static library"};
    return type < 8 && *names[type] ? names[type] : "type ?";
}

}  // namespace

int RunVersion(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "kvsim version: give a machine folder and a file's path on the machine\n");
        return kExitUsage;
    }
    CMachineFolder machine;
    std::string error;
    if (!machine.Open(args[0], &error)) {
        std::fprintf(stderr, "kvsim version: %s\n", error.c_str());
        return kExitBadInput;
    }
    const char* path = args[1].c_str();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<BYTE> block(size ? size : 1);
    void* value = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoA(path, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        std::fprintf(stderr, "kvsim version: %s has no version resource the machine can read (error %u)\n", path,
                     static_cast<unsigned>(GetLastError()));
        return kExitBadInput;
    }
    const VS_FIXEDFILEINFO fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("%s on %s\n", path, winsim::OsVersionName(machine.Machine().Version()));
    std::printf("  file version:      %s\n", FourPart(fixed.dwFileVersionMS, fixed.dwFileVersionLS).c_str());
    std::printf("  product version:   %s\n", FourPart(fixed.dwProductVersionMS, fixed.dwProductVersionLS).c_str());
    std::printf("  file type:         %s, flags 0x%08X, OS 0x%08X\n", FileTypeText(fixed.dwFileType),
                static_cast<unsigned>(fixed.dwFileFlags), static_cast<unsigned>(fixed.dwFileOS));
    // The first translation, as the library takes it; code page 1252 when there is none.
    DWORD translation = 1252u << 16;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4)
        translation = *static_cast<const DWORD*>(value);
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", static_cast<unsigned>(translation & 0xFFFF),
                  static_cast<unsigned>(translation >> 16));
    std::printf("  translation:       %s\n", table);
    static const char* const names[] = {"CompanyName",    "FileDescription",  "FileVersion",  "InternalName",
                                        "LegalCopyright", "OriginalFilename", "ProductName",  "ProductVersion",
                                        "Comments",       "LegalTrademarks",  "PrivateBuild", "SpecialBuild"};
    for (const char* name : names) {
        const std::string sub = std::string("\\StringFileInfo\\") + table + "\\" + name;
        if (VerQueryValueA(block.data(), sub.c_str(), &value, &length) && length > 0)
            std::printf("  %-18s \"%s\"\n", (std::string(name) + ":").c_str(), static_cast<const char*>(value));
    }
    return kExitOk;
}

}  // namespace kvsim
