#include "kvisinst/common/strconv.h"

#include "kvisinst/common/error.h"

#include <new>

namespace {

template <typename Result, typename Convert>
Result Converted(Convert convert) {
    try {
        const int needed = convert(nullptr, 0);
        if (needed == 0) RaiseLastError();
        Result out(static_cast<size_t>(needed), 0);
        if (convert(&out[0], needed) == 0) RaiseLastError();
        out.resize(static_cast<size_t>(needed) - 1);  // the converted NUL
        return out;
    } catch (const std::bad_alloc&) {
        throw CWin32Error(E_OUTOFMEMORY);
    }
}

}  // namespace

WideString ToWide(const char* text) {
    return Converted<WideString>(
        [&](WCHAR* out, int size) { return MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, out, size); });
}

std::string ToNarrow(const WCHAR* text) {
    static const WCHAR kEmpty[1] = {0};
    return Converted<std::string>([&](char* out, int size) {
        return WideCharToMultiByte(CP_ACP, 0, text ? text : kEmpty, -1, out, size, nullptr, nullptr);
    });
}
