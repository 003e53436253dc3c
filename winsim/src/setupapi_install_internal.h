// What the parts of SetupAPI's section installation share: the file queue (setupapi_install_files.cpp),
// the INI text editing that both UpdateInis and WININIT.INI's [rename] use, and the small readers of
// INF fields (setupapi_install.cpp).
#pragma once

#include "setupapi_inf_internal.h"

#include <winsim/api/setupapi_install.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

// The lines of a section (none when the section is missing).
const std::vector<InfLine>* SectionLines(const InfDocument& document, std::string_view name);
// The fields of every line whose key is `key` in `section`, one after the other (CopyFiles=a,b and
// CopyFiles=c give a, b, c).
std::vector<std::string> DirectiveValues(const InfDocument& document, std::string_view section, std::string_view key);
// A number as SetupGetIntField reads it: decimal, or hex after "0x"; an empty field is 0.
std::optional<DWORD> InfNumber(std::string_view text);

// "a" + "b" with one backslash between them, whatever either side has.
std::string JoinWindowsPath(std::string_view folder, std::string_view name);

// INI text: finds `section` (without regard to case) and calls `edit` with its entry lines (neither
// the header nor blank lines); the section is added at the end when missing and `edit` leaves lines.
// The file is written back only when something changed. False when it cannot be written.
bool EditIniSection(const std::string& windowsPath, std::string_view section,
                    bool (*edit)(std::vector<std::string>& lines, const void* data), const void* data);

// Carries out the DelFiles, RenFiles and CopyFiles of `section` with the caller's callback. False with
// the last error set when the queue could not be built or was aborted.
struct FileInstall {
    OpenInfView inf;
    std::string section;
    std::string sourceRoot;
    UINT copyStyle = 0;
    PSP_FILE_CALLBACK_A callback = nullptr;
    PVOID context = nullptr;
};
bool InstallSectionFiles(const FileInstall& install);

}  // namespace winsim
