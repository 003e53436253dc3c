// Reading the name lists and testing names against them.
#include "kvisinst/trace/namefilter.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/strconv.h"
#include "kvisinst/common/text.h"
#include "kvisinst/trace/settings.h"

#include <algorithm>
#include <new>

namespace {

// A name's wide form in a buffer on the stack. Names are compared with set entries, which are value
// names of at most 259 characters: a longer name can equal none of them and is not converted
// (Valid() is false). Each ANSI byte gives at most one UTF-16 unit.
class CWideName {
public:
    explicit CWideName(const char* name) {
        const size_t length = std::char_traits<char>::length(name);
        if (length >= 260) return;
        const int n = length ? MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), units_, 260) : 0;
        if (length && n <= 0) return;
        length_ = static_cast<size_t>(n);
        valid_ = true;
    }
    bool Valid() const { return valid_; }
    std::basic_string_view<WCHAR> View() const { return {units_, length_}; }

private:
    WCHAR units_[260];
    size_t length_ = 0;
    bool valid_ = false;
};

}  // namespace

namespace {

bool Before(const CWideText& entry, std::basic_string_view<WCHAR> name) { return entry.View() < name; }

}  // namespace

void NameSet::Add(const char* name) {
    CWideText wide = ToWide(name);
    const auto at = std::lower_bound(names_.begin(), names_.end(), wide.View(), Before);
    if (at != names_.end() && at->View() == wide.View()) return;
    try {
        names_.insert(at, std::move(wide));
    } catch (const std::bad_alloc&) {
        throw CWin32Error(E_OUTOFMEMORY);
    }
}

bool NameSet::Contains(std::basic_string_view<WCHAR> name) const {
    const auto at = std::lower_bound(names_.begin(), names_.end(), name, Before);
    return at != names_.end() && at->View() == name;
}

void FillNameSet(HKEY tracingKey, const char* list, NameSet& set) {
    ReadTraceList(tracingKey, list, [&](const char* name) {
        set.Add(name);
        return true;
    });
}

bool EvaluateComponentLists(HKEY tracingKey, const char* component) {
    bool traced = true;
    ReadTraceList(tracingKey, "ComponentsNOT", [&](const char* name) {
        if (!EqualsNoCase(name, component)) return true;
        traced = false;
        return false;
    });
    // Any entry of "Components" switches tracing off until this component's own name turns it on.
    ReadTraceList(tracingKey, "Components", [&](const char* name) {
        traced = EqualsNoCase(name, component);
        return !traced;
    });
    return traced;
}

bool IsFunctionTraced(const char* name) {
    if (g_traceFunctionsNot.Empty() && g_traceFunctions.Empty()) return true;
    const CWideName wide(name ? name : "");
    if (wide.Valid() && g_traceFunctionsNot.Contains(wide.View())) return false;
    if (g_traceFunctions.Empty()) return true;
    return wide.Valid() && g_traceFunctions.Contains(wide.View());
}

bool IsKeywordTraced(const char* keyword) {
    if (!keyword || !*keyword || g_traceKeywords.Empty()) return true;
    const CWideName wide(keyword);
    return wide.Valid() && g_traceKeywords.Contains(wide.View());
}
