// Force-included into GoogleTest and the Windows test programs of the 32-bit build. That build uses
// the compiler's win32 thread model (the product DLL must not import what its posix runtime needs),
// which has no std::mutex or std::condition_variable: GoogleTest's one use of them, its Notification,
// is given here on a Win32 event instead (GTEST_HAS_NOTIFICATION_ says it is provided).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { ::CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { ::SetEvent(event_); }
    void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
