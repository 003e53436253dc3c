// kvhost_test: stands in for the product's host process, whose executable name contains "kvhost". Two
// threads, each with a message queue. Started as
//
//   kvhost_test.exe quits|ignores EVENT
//
// it sets the named event EVENT once both queues exist. "quits": the main thread's message loop ends
// on WM_QUIT and the program exits with 7, a code that a termination (which gives 0 here) cannot
// give. "ignores": both threads go on waiting for messages whatever they get, until terminated.
#include <windows.h>

namespace {

bool g_quits = false;

// Waits for messages; in "quits" mode until WM_QUIT, otherwise for ever.
void Loop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 || !g_quits) {}
}

DWORD WINAPI Second(void* ready) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes this thread's queue
    SetEvent(static_cast<HANDLE>(ready));
    Loop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    g_quits = lstrcmpA(argv[1], "quits") == 0;
    HANDLE secondReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateThread(nullptr, 0, Second, secondReady, 0, nullptr);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    WaitForSingleObject(secondReady, INFINITE);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!second || !ready || !SetEvent(ready)) return 3;
    Loop();
    return 7;
}
