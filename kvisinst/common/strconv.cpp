#include "kvisinst/common/strconv.h"

#include "kvisinst/common/error.h"

#include <new>

namespace {

// Out of line: an inline static member would be a unique symbol, which keeps the host build's shared
// object from ever being unloaded.
const WCHAR kNoUnits[1] = {0};

}  // namespace

const WCHAR* CWideText::c_str() const { return units_ ? units_.get() : kNoUnits; }

CWideText ToWide(const char* text) {
    if (!text || !*text) return {};
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed == 0) RaiseLastError();
    std::unique_ptr<WCHAR[]> units(new (std::nothrow) WCHAR[static_cast<size_t>(needed)]);
    if (!units) throw CWin32Error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, units.get(), needed) == 0) RaiseLastError();
    return {std::move(units), static_cast<size_t>(needed) - 1};  // without the converted NUL
}
