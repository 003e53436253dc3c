// Calls into code the library does not trust (a foreign library's DllUnregisterServer, a walk whose
// callbacks reach other people's windows) with a structured-exception frame around them, so that an
// access violation there ends that call instead of the setup program.
//
// GCC has no __try/__except; the frame is built by hand for each Windows target (guarded.cpp). On the
// host build a simulated module "faults" by throwing, and the guard catches whatever is thrown.
#pragma once

#include <type_traits>

// Runs function(context) and says whether it returned. A structured exception raised while it runs
// (a processor fault, or anything raised with RaiseException, a foreign C++ throw included) ends it
// where it was: the stack is cut back to this call, nothing that `function` had on its stack is
// destroyed or released, and false comes back. The library's own C++ exceptions must not leave
// `function`: catch them inside it.
bool CallGuarded(void (*function)(void*), void* context);

template <typename Function>
bool CallGuarded(Function&& function) {
    using F = std::remove_reference_t<Function>;
    return CallGuarded([](void* context) { (*static_cast<F*>(context))(); }, &function);
}
