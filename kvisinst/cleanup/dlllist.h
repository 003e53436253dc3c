// CDllList: the file-list object with which earlier editions are taken off a machine. It holds a list
// of file names (syntax in listsyntax.h), a running result and an optional window that is told of
// progress and results; its walks unregister each file's COM registrations and schedule the file for
// deletion at the next restart (ReplaceFileOnReboot, replace.h). Files are never deleted at once.
//
// Use: construct, then ProcessDLLs on a directory or ProcessSystemDLLs (each as often as needed), then
// destroy. Once the result holds a failure code every further walk returns it without work.
//
// How entries become files:
// - Quote characters are dropped from the file name (a quoted name means the text between its
//   quotes); traces show the entry as written.
// - An entry whose directory + "\" + name (quotes dropped) would exceed MAX_PATH - 1 characters is
//   refused: traced, neither unregistered nor scheduled, and the walk goes on.
// - No check is made that a file exists: absent files go through the same steps.
#pragma once

#include "kvisinst/common/win32.h"

class TraceScope;

// Posted with the result (wParam; lParam 0): when the list cannot be allocated, when it has an
// unterminated quote, at the end of every walk, and by SetResult.
constexpr UINT WM_CLEANUP_RESULT = WM_USER + 100;
// Sent before each file is processed; lParam is the address of its NUL-terminated full path, valid
// only during the call; wParam 0.
constexpr UINT WM_CLEANUP_PROGRESS = WM_USER + 101;

class CDllList {
public:
    // Result S_OK, list and window as given. A null or empty text leaves no list (an empty list). The
    // text is copied into a buffer of its length + 2 bytes and parsed; an allocation failure makes the
    // result E_OUTOFMEMORY and posts it.
    CDllList(LPCSTR text, HWND window);
    ~CDllList();
    CDllList(const CDllList&) = delete;
    CDllList& operator=(const CDllList&) = delete;

    // Parses the copied text in place (ParseFileList); an unterminated quote makes the result
    // E_INVALIDARG and posts it, so that nothing of the list is processed.
    void ParseList();

    // Stores hr as the result and, with a window, posts `message` with wParam hr, lParam 0.
    void SetResult(UINT message, HRESULT hr);

    // Walks the list over `directory`: for each entry, traced, announced to the window, unregistered
    // (".EXE" by UnregisterExe, ".TLB" by UnregisterTypeLib, any other file by UnregisterDll, the
    // extension compared regardless of case) unless '~', and scheduled for deletion unless '-'.
    // A file that cannot be unregistered or scheduled does not change the result. The walk runs under
    // a fault guard: a raised error ends it with its HRESULT, anything else - another exception, a
    // processor fault in a window's handler - with E_UNEXPECTED. Posts and returns the result; a
    // result that already failed is returned at once, nothing posted.
    HRESULT ProcessDLLs(LPCSTR directory);

    // ProcessDLLs over the system directory; posts the result again afterwards (so a window receives
    // it twice). Without a system directory the result becomes the HRESULT of the last error.
    HRESULT ProcessSystemDLLs();

    HRESULT Result() const { return result_; }
    // The parsed list (entries closed by an empty one), or null when there is none.
    const char* List() const { return list_; }

private:
    void Post(UINT message, HRESULT hr);
    // The walk itself; raises what it meets. Run inside the fault guard.
    void Walk(const TraceScope& scope, LPCSTR directory);

    HRESULT result_;
    char* list_;
    HWND window_;
};

// Per-file routines, each given a file's full path; their outcome is not reported.
//
// Loads the library and calls its "DllUnregisterServer", if it has one, under the fault guard: a
// fault or exception there only ends this routine. The library is freed whenever it was loaded.
void UnregisterDll(LPCSTR path);
// Starts the program with the command line "/UnRegServer" and waits up to 10 s for it (it is left
// running after that).
void UnregisterExe(LPCSTR path);
// Starts the system directory's "regtlib.exe" with "/u <path>" and waits up to 10 s for it.
void UnregisterTypeLib(LPCSTR path);
