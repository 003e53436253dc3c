// Kernel object handles of the simulated process: files, mutexes, processes, ... share one table,
// as they do on Windows, so that CloseHandle and the wait functions work on any of them.
#pragma once

#include <winsim/types.h>

#include <cstdint>
#include <memory>

namespace winsim {

// Base of every object a HANDLE can refer to. The object lives while a handle refers to it (or
// while something else holds a shared_ptr to it).
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// An object the wait functions can wait for (a mutex, a process, ...). Wait returns what
// WaitForSingleObject returns for it: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, or WAIT_FAILED with
// the last error set.
class WaitableObject : public KernelObject {
public:
    virtual DWORD Wait(DWORD milliseconds) = 0;
};

// Adds an object to the process's handle table and returns its new handle (never null, never
// INVALID_HANDLE_VALUE).
HANDLE AddHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle if it is of type T; nullptr for an unknown handle or another type.
std::shared_ptr<KernelObject> ObjectFromHandle(HANDLE handle);
template <typename T>
std::shared_ptr<T> ObjectFromHandle(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(ObjectFromHandle(handle));
}

// How many handles the process has closed so far. An object found through a handle stays alive at
// least until this count changes, which lets a hot path (the wait functions) remember its last lookup
// instead of searching the table under its lock on every call.
uint64_t HandleCloseCount();

// Number of open handles: tests use it to prove that a call released what it opened.
size_t OpenHandleCount();

}  // namespace winsim
