// The trace's name filters: lists of names kept as the value names of subkeys of the Tracing key
// ("Functions", "FunctionsNOT", "Keywords", "ComponentsNOT", "Components").
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/common/strconv.h"

#include <string_view>
#include <vector>

// An ordered set of wide names, matched exactly (case-sensitive), ordered by 16-bit code units.
class NameSet {
public:
    // Converts the narrow name (ANSI code page) and adds it; a name already there changes nothing.
    // Raises E_OUTOFMEMORY when no memory is left for the copy.
    void Add(const char* name);
    bool Contains(std::basic_string_view<WCHAR> name) const;
    bool Empty() const { return names_.empty(); }
    void Clear() { names_.clear(); }

private:
    std::vector<CWideText> names_;  // sorted, each once
};

// Calls visit(name) for each value name of the subkey `list` of the open Tracing key, in
// enumeration order, until visit returns false or the enumeration fails (no more values, a name of
// 260 characters or more, or any other error). A closed Tracing key or a missing subkey is an empty
// list.
template <typename Visit>
void ReadTraceList(HKEY tracingKey, const char* list, Visit visit);

// Adds each entry of a list to a set.
void FillNameSet(HKEY tracingKey, const char* list, NameSet& set);

// The verdict of "ComponentsNOT" and "Components" for a component name (compared without regard to
// the case of ASCII letters): a non-empty "Components" decides alone; otherwise "ComponentsNOT" does.
bool EvaluateComponentLists(HKEY tracingKey, const char* component);

// Whether a function's lines are written: not in "FunctionsNOT", and in "Functions" unless that is
// empty.
bool IsFunctionTraced(const char* name);
// Whether a message keyword's lines are written: a null or empty keyword, or an empty "Keywords",
// always; otherwise when "Keywords" holds it.
bool IsKeywordTraced(const char* keyword);

template <typename Visit>
void ReadTraceList(HKEY tracingKey, const char* list, Visit visit) {
    if (!tracingKey) return;
    // Closed however the visit ends: adding a name to a set can raise E_OUTOFMEMORY.
    CRegKey key;
    if (key.Open(tracingKey, list, KEY_READ) != ERROR_SUCCESS) return;
    char name[260];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (!visit(static_cast<const char*>(name))) break;
    }
}
