// Shortcut cases that the host tests (winsim) and the Windows tests (Wine) both run: the links a
// folder section's lines make, what AddRemoveShortcut answers in each kind of COM apartment, and
// templates that name no folder. Include after the Win32 declarations.
#pragma once

#include <string>

// One line of a folder section, "name=<folder>\target<rest>", and the arguments its link gets. The
// suite chooses the folder (on Windows, one where the target exists).
struct ShortcutLineRow {
    const char* name;
    const char* target;
    const char* rest;
    const char* arguments;
};

inline const ShortcutLineRow kShortcutLineRows[] = {
    {"Reader Tool", "notepad.exe", ",/a,b,c", "/a,b,c"},  // everything after the first comma
    {"Plain", "regedit.exe", "", ""},                     // no comma: no arguments
};

// The lines of a folder section holding every row, targets in `folder`.
inline std::string ShortcutSectionLines(const std::string& folder) {
    std::string lines;
    for (const auto& row : kShortcutLineRows)
        lines += std::string(row.name) + "=" + folder + "\\" + row.target + row.rest + "\r\n";
    return lines;
}

// A removal, or an addition from a section without lines, reports the library's COM initialisation:
// S_FALSE when the calling thread had an apartment already, RPC_E_CHANGED_MODE when it was a
// multithreaded one. Links are made whatever the apartment.
struct ApartmentRow {
    const char* name;
    int callerInit;  // the caller's own CoInitializeEx, -1 for none
    HRESULT result;
};

inline const ApartmentRow kApartmentRows[] = {
    {"no COM on the thread", -1, S_OK},
    {"a single-threaded caller", COINIT_APARTMENTTHREADED, S_FALSE},
    {"a multithreaded caller", COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
};

// Templates that expand to no folder: adding fails and makes nothing, removing reports nothing.
inline const char* const kUnexpandableTemplates[] = {
    "<Common Programs\\Kv Broken",        // a '<' without its '>'
    "<No Such Shell Folder>\\Kv Broken",  // a name without a "Shell Folders" value
};
