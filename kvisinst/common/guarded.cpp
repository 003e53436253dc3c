// The structured-exception frame of CallGuarded for each build.
#include "kvisinst/common/guarded.h"

#if !defined(_WIN32)

// The host build: a simulated module faults by throwing an object of winsim's own, which the library
// does not know; catching everything here stands for the handler that a Windows frame would run.
bool CallGuarded(void (*function)(void*), void* context) {
    try {
        function(context);
        return true;
    } catch (...) {
        return false;
    }
}

#else

// Placeholder until the Windows frames exist: no protection.
bool CallGuarded(void (*function)(void*), void* context) {
    function(context);
    return true;
}

#endif
