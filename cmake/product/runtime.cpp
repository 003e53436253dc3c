// Linked into the shipped 32-bit KVISINST.DLL only: the parts of the C++ runtime that the library
// reaches by accident and that would cost most of its size.
//
// The Windows linker cannot drop unused functions from a runtime object whose unwind table it keeps,
// so every object pulled from libstdc++ comes whole. Two references pull in most of it:
// - std::terminate's default handler prints the exception's demangled type name: the demangler, the
//   formatted printing and stdio come with it. A DLL with no console has nowhere to print it.
// - std::string's length and range checks throw std::length_error and std::out_of_range, whose
//   definitions bring the reference-counted strings of the old ABI, every standard exception class
//   and std::random_device.
// The replacements below throw an exception of their own instead: the library catches only its own
// error, std::bad_alloc and everything else, so a failed check still ends at the export's boundary as
// E_UNEXPECTED, as the standard exception did. An allocation failure is still std::bad_alloc.
#include <windows.h>

#include <cstdlib>
#include <new>

// The runtime's mutexes (gthr-win32) make their unnamed semaphore with CreateSemaphoreW, which Windows
// 95 and 98 export only as a stub that fails: a lock there would work only while uncontended. The
// import slot the runtime calls through is given here, filled with a function that makes the same
// unnamed semaphore with CreateSemaphoreA, which every version has.
namespace {
HANDLE WINAPI CreateUnnamedSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    if (name) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return CreateSemaphoreA(attributes, initial, maximum, nullptr);
}
}  // namespace
extern "C" {
extern decltype(&CreateUnnamedSemaphore) const kvImportCreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
decltype(&CreateUnnamedSemaphore) const kvImportCreateSemaphoreW = &CreateUnnamedSemaphore;
}

namespace {
// What a failed library check throws in place of the standard exception. Never caught by type.
struct CRuntimeCheckFailed {
    const char* what;
};
}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_length_error(const char* what) {
    throw CRuntimeCheckFailed{what};
}
void __throw_logic_error(const char* what) {
    throw CRuntimeCheckFailed{what};
}
void __throw_out_of_range(const char* what) {
    throw CRuntimeCheckFailed{what};
}
void __throw_out_of_range_fmt(const char* what, ...) {
    throw CRuntimeCheckFailed{what};
}
void __throw_invalid_argument(const char* what) {
    throw CRuntimeCheckFailed{what};
}
}  // namespace std
