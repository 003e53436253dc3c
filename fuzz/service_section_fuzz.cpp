// libFuzzer target: arbitrary text as the product's INF, opened as SetupAPI opens it, and its section
// "Svc" read as the library reads a service section, on a simulated Windows 2000 machine. Every value
// read ends inside its buffer, a name taken from the image path has no folder in it, the dependency
// list is closed by two NULs inside its buffer, and the type and start type are values
// CreateServiceA takes.
#include "check.h"
#include "kvisinst/inf/service.h"

#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using fuzzing::Check;

namespace {

bool Ends(const char* text, size_t size) { return strnlen(text, size) < size; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto machine = std::make_unique<winsim::ScopedMachine>(winsim::OsVersion::Win2000);
    const char path[] = "C:\\Setup\\quillex.inf";
    Check(winsim::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)),
          "cannot write the INF");
    HINF inf = SetupOpenInfFileA(path, nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return 0;
    CServiceSection section;
    std::memset(&section, 0x7f, sizeof section);
    ReadServiceSection(inf, "Svc", &section);
    SetupCloseInfFile(inf);

    Check(Ends(section.name, sizeof section.name) && Ends(section.displayName, sizeof section.displayName),
          "a name runs past its buffer");
    Check(!section.hasImagePath || Ends(section.imagePath, sizeof section.imagePath),
          "the image path runs past its buffer");
    size_t at = 0;
    while (at < sizeof section.dependencies && section.dependencies[at])
        at += std::strlen(section.dependencies + at) + 1;
    Check(at < sizeof section.dependencies, "the dependency list is not closed inside its buffer");
    const DWORD type = section.type & ~DWORD{SERVICE_INTERACTIVE_PROCESS};
    Check(type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER || type == SERVICE_WIN32_OWN_PROCESS ||
              type == SERVICE_WIN32_SHARE_PROCESS,
          "a service type CreateServiceA does not take");
    Check(type == section.type || type == SERVICE_WIN32_OWN_PROCESS || type == SERVICE_WIN32_SHARE_PROCESS,
          "a driver marked interactive");
    Check(section.startType <= SERVICE_DISABLED, "a start type CreateServiceA does not take");

    // A name taken from an image path, as it is given or as the INF gave it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    char name[kServiceValueSize];
    ServiceNameFromImagePath(text.c_str(), name);
    Check(Ends(name, sizeof name) && !std::strpbrk(name, "\\/"), "a derived name with a folder in it");
    return 0;
}
