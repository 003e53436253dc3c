// The library's error convention: inside, a failed Win32 status or HRESULT is raised as a CWin32Error
// carrying an HRESULT; a function that returns an HRESULT catches at its boundary with
// HResultBoundary, so nothing escapes an export.
#pragma once

#include "kvisinst/common/win32.h"

class CWin32Error {
public:
    explicit CWin32Error(HRESULT hr) : hr_(hr) {}
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

// The HRESULT form of a status: the status itself when it already carries facility bits, otherwise
// 0x80070000 | (status & 0xFFFF).
HRESULT HResultFromStatus(LONG status);

// Raises the HRESULT form of a nonzero status.
[[noreturn]] void RaiseWin32Error(LONG status);

// The status check after a Win32 or COM call: a negative HRESULT is raised unchanged, a nonzero Win32
// code through RaiseWin32Error; zero and non-negative HRESULTs pass.
void CheckStatus(LONG status);

// Raises the HRESULT form of the thread's last error (E_FAIL if the failing call set none).
[[noreturn]] void RaiseLastError();

// Runs body, which returns an HRESULT, and turns a raised CWin32Error into its HRESULT and anything
// else thrown into E_UNEXPECTED.
template <typename Body>
HRESULT HResultBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const CWin32Error& error) {
        return error.Result();
    } catch (...) {
        return E_UNEXPECTED;
    }
}
