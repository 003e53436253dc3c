// Wide (UTF-16) forms of the library's narrow (ANSI code page) strings, made where an interface wants
// them: COM's file names, the trace's name lists. A conversion failure raises the HRESULT of the
// system's last error; running out of memory raises E_OUTOFMEMORY.
#pragma once

#include "kvisinst/common/win32.h"

#include <cstddef>
#include <memory>
#include <string_view>

// A NUL-terminated wide text of its own, sized to fit. (Not std::basic_string: its explicit
// instantiation in the runtime would cost the product DLL tens of kilobytes.)
class CWideText {
public:
    CWideText() = default;
    CWideText(std::unique_ptr<WCHAR[]> units, size_t length) : units_(std::move(units)), length_(length) {}
    const WCHAR* c_str() const;
    size_t size() const { return length_; }
    std::basic_string_view<WCHAR> View() const { return {c_str(), length_}; }

private:
    std::unique_ptr<WCHAR[]> units_;
    size_t length_ = 0;
};

// The wide form of `text` (null counts as empty).
CWideText ToWide(const char* text);
