// The windows, messages and cursor of a machine (windows.h).
#include <winsim/windows.h>

#include "registry_internal.h"

#include <algorithm>
#include <iterator>

namespace winsim {

namespace {

struct SystemCursorRow {
    WORD id;
    const char* name;
};

const SystemCursorRow kSystemCursors[] = {
    {32512, "IDC_ARROW"},    {32513, "IDC_IBEAM"},  {32514, "IDC_WAIT"},        {32515, "IDC_CROSS"},
    {32516, "IDC_UPARROW"},  {32640, "IDC_SIZE"},   {32641, "IDC_ICON"},        {32642, "IDC_SIZENWSE"},
    {32643, "IDC_SIZENESW"}, {32644, "IDC_SIZEWE"}, {32645, "IDC_SIZENS"},      {32646, "IDC_SIZEALL"},
    {32648, "IDC_NO"},       {32649, "IDC_HAND"},   {32650, "IDC_APPSTARTING"}, {32651, "IDC_HELP"},
};

// System cursors are shared objects with fixed handles for the whole session; these values lie
// apart from window handles and kernel handles.
constexpr ULONG_PTR kCursorBase = 0x60000;

}  // namespace

HWND Windows::Create(std::string className, std::string title, Handler handler) {
    Window w;
    w.handle = reinterpret_cast<HWND>(nextHandle_);
    nextHandle_ += 0x10;
    w.className = std::move(className);
    w.title = std::move(title);
    w.handler = std::move(handler);
    windows_.push_back(std::move(w));
    return windows_.back().handle;
}

HWND Windows::CreateForProcess(std::string className, std::string title, DWORD processId, DWORD closesOnAttempt,
                               DWORD attempts) {
    HWND handle = Create(std::move(className), std::move(title));
    Window& w = windows_.back();
    w.processId = processId;
    w.closesOnAttempt = closesOnAttempt;
    w.closeAttempts = attempts;
    return handle;
}

DWORD Windows::CountCloseAttempt(HWND window) {
    for (auto& w : windows_)
        if (w.handle == window) return ++w.closeAttempts;
    return 0;
}

HWND Windows::FindByClass(std::string_view className, std::optional<std::string_view> title) const {
    for (const auto& w : windows_)
        if (NamesEqual(w.className, className) && (!title || NamesEqual(w.title, *title))) return w.handle;
    return nullptr;
}

bool Windows::Destroy(HWND window) {
    auto it = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) { return w.handle == window; });
    if (it == windows_.end()) return false;
    windows_.erase(it);
    return true;
}

const Windows::Window* Windows::Find(HWND window) const {
    if (!window) return nullptr;
    for (const auto& w : windows_)
        if (w.handle == window) return &w;
    return nullptr;
}

std::vector<Windows::Window> Windows::List() const { return windows_; }

bool Windows::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Find(window)) return false;
    messages_.push_back({Message::Kind::Posted, window, message, wParam, lParam, std::nullopt});
    // The answer may close the window: nothing of it is used afterwards.
    if (message == WM_CLOSE && Find(window)->processId && closeAnswer_) closeAnswer_(window);
    return true;
}

std::optional<LRESULT> Windows::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Window* w = Find(window);
    if (!w) return std::nullopt;
    // A copy: the handler may make or destroy windows while it runs.
    const Handler handler = w->handler;
    const size_t index = messages_.size();
    messages_.push_back({Message::Kind::Sent, window, message, wParam, lParam, std::nullopt});
    const LRESULT result = handler ? handler(window, message, wParam, lParam) : 0;
    messages_[index].result = result;
    return result;
}

HCURSOR Windows::SystemCursor(ULONG_PTR id) {
    for (const auto& row : kSystemCursors)
        if (row.id == id) return reinterpret_cast<HCURSOR>(kCursorBase + row.id);
    return nullptr;
}

const char* Windows::CursorName(HCURSOR cursor) {
    const auto value = reinterpret_cast<ULONG_PTR>(cursor);
    for (const auto& row : kSystemCursors)
        if (kCursorBase + row.id == value) return row.name;
    return nullptr;
}

HCURSOR Windows::SetCursor(HCURSOR cursor) {
    HCURSOR previous = cursor_;
    cursor_ = cursor;
    cursorChanges_.push_back(cursor);
    return previous;
}

}  // namespace winsim
