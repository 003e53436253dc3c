// The 8.3 names of a machine's files: what GetShortPathNameA answers and what every path the file
// calls take may use in place of a long name ("C:\PROGRA~1\KORVANE\QUILLE~1.DLL").
//
// Windows gives a long name its short name when the file is made; winsim gives it the first time
// the name is needed (a GetShortPathNameA, or a path that spells a short name nobody was given yet)
// and keeps it from then on, so a file keeps its short name while siblings come and go, across
// kvsim runs too (the machine folder's shortnames.txt). How a name is formed:
//
//   - a name that is a valid 8.3 name already is its own short name, spelled as on disk;
//   - else the name before its last dot, upper-cased, without blanks, dots and characters 8.3 names
//     may not hold, cut to 6 characters (fewer once N has more digits), then "~N" with the lowest N
//     that no other file of the folder has as its name or short name, then the first 3 characters of
//     the extension, upper-cased: "Quille Helper.dll" -> "QUILLE~1.DLL".
//
// Folders are named by their full long Windows path, matched without regard to case.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

class ShortNames {
public:
    explicit ShortNames(Machine& machine);

    // Whether a name is a valid 8.3 name as it stands (letter case aside).
    static bool IsShortName(std::string_view name);

    // The short name of the entry `longName` of `folder` (spelled as on disk; the entry must exist),
    // given now if it has none yet.
    std::string ShortNameOf(std::string_view folder, std::string_view longName);
    // The long name of the entry of `folder` whose short name is `shortName`; nothing when no entry
    // of the folder has it. The folder's entries without a short name get theirs first (in name
    // order), so that a path spelled by someone who knew the names Windows would give resolves.
    std::optional<std::string> LongNameOf(std::string_view folder, std::string_view shortName);

    // A file or folder was renamed or moved (full long paths): what lies below a folder keeps its
    // short names; the entry itself keeps its own when it keeps its long name and the name is free in
    // its new folder, and is given a new one when next needed otherwise, as Windows does for a new
    // long name.
    void Moved(std::string_view from, std::string_view to);
    // A file or folder was deleted: its short name (and those below it) are free again.
    void Removed(std::string_view path);

    // shortnames.txt: one section per folder, "SHORT~1.EXT=long name" lines. LoadText replaces what
    // is kept.
    std::string SaveText() const;
    bool LoadText(std::string_view text, std::string* error);

private:
    struct Entry {
        std::string shortName;
        std::string longName;
    };
    // Folder key (upper-cased full path) -> the folder's spelling and its entries.
    struct Folder {
        std::string path;
        std::vector<Entry> entries;
    };
    Folder& FolderOf(std::string_view folder);
    // Entries whose file is gone no longer hold their name.
    void Prune(Folder& folder, const std::vector<std::string>& onDisk);
    std::string Assign(Folder& folder, std::string_view longName, const std::vector<std::string>& onDisk);
    std::vector<std::string> NamesOnDisk(std::string_view folder) const;

    Machine& machine_;
    // Any thread's path may spell a short name. Recursive: finding a folder's names on disk resolves
    // the folder's own path, which may spell short names too.
    mutable std::recursive_mutex lock_;
    std::map<std::string, Folder> folders_;
};

}  // namespace winsim
