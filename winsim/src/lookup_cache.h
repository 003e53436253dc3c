// A thread's memory of its last handle lookup for one kind of object.
#pragma once

#include <winsim/handles.h>

namespace winsim {

// Kept while no handle in the process has been closed (HandleCloseCount), so the object is still the
// table's. A traced function waits for and releases the same mutex and writes to the same file over
// and over; the table's lock would cost more than the call itself.
// Caches are thread_local with the initial-exec model: winsim is loaded with the program, and the
// general model would cost a call on every lookup.
#define WINSIM_FAST_TLS __attribute__((tls_model("initial-exec")))

template <typename T>
class CLookupCache {
public:
    T* Find(HANDLE wanted) {
        const uint64_t closed = HandleCloseCount();
        if (wanted == handle_ && closed == closeCount_) return object_;
        auto found = ObjectFromHandle<T>(wanted);
        if (!found) return nullptr;  // a miss is never remembered: the handle may be created later
        handle_ = wanted;
        closeCount_ = closed;
        object_ = found.get();
        return object_;
    }

private:
    HANDLE handle_ = nullptr;
    uint64_t closeCount_ = ~uint64_t{0};
    T* object_ = nullptr;
};

}  // namespace winsim
