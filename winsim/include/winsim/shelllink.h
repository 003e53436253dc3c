// Shell link (.lnk) files as the simulated shell writes and reads them, in the published Shell Link
// binary format, and the COM state that tests look at to prove that every object was released.
#pragma once

#include <winsim/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace winsim {

struct ShellLinkData {
    std::string target;  // the target's path; empty for a link without one
    std::string arguments;
    std::string description;
    std::string workingDirectory;
    std::string iconLocation;
    int iconIndex = 0;
    int showCommand = 1;  // SW_SHOWNORMAL
    WORD hotkey = 0;
    // What the header records of the target when the link was saved (zero when it did not exist).
    DWORD targetAttributes = 0;
    DWORD targetSize = 0;
    uint64_t targetWriteTime = 0;  // FILETIME, 100 ns since 1601
};

// The bytes of a link file holding `link`: its strings in UTF-16 when `unicode` (as the NT family's
// shell writes them), else in the ANSI code page (as Windows 95/98 write them).
std::string EncodeShellLink(const ShellLinkData& link, bool unicode);

// Reads the bytes of a link file; nothing when they are not one (a wrong header, a structure that
// runs past the end).
std::optional<ShellLinkData> DecodeShellLink(std::string_view bytes);

// Reads a link file named by a Windows path of the current machine.
std::optional<ShellLinkData> ReadShellLink(std::string_view windowsPath);

// COM objects handed out by the simulated servers and not yet released, in the whole process.
size_t LiveComObjects();

// How many CoInitialize/CoInitializeEx calls of the calling thread CoUninitialize has still to undo.
int ComInitializations();

}  // namespace winsim
