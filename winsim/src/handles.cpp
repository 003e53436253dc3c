#include <winsim/handles.h>
#include <winsim/win32api.h>

#include <atomic>
#include <map>
#include <mutex>

namespace winsim {

namespace {

std::mutex g_lock;
std::map<ULONG_PTR, std::shared_ptr<KernelObject>> g_table;
// Windows hands out multiples of 4; starting high keeps simulated handles apart from small integers
// and from the pseudo-handles (-1, -2).
ULONG_PTR g_next = 0x1000;
std::atomic<uint64_t> g_closed{0};

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> lock(g_lock);
    const ULONG_PTR value = g_next;
    g_next += 4;
    g_table[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> ObjectFromHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_table.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == g_table.end() ? nullptr : it->second;
}

uint64_t HandleCloseCount() { return g_closed.load(std::memory_order_acquire); }

size_t OpenHandleCount() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_table.size();
}

}  // namespace winsim

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<winsim::KernelObject> released;  // destroyed outside the lock
    {
        std::lock_guard<std::mutex> lock(winsim::g_lock);
        auto it = winsim::g_table.find(reinterpret_cast<ULONG_PTR>(handle));
        if (it == winsim::g_table.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        released = std::move(it->second);
        winsim::g_table.erase(it);
        // Counted before the object can go, so that no remembered lookup outlives it.
        winsim::g_closed.fetch_add(1, std::memory_order_acq_rel);
    }
    return TRUE;
}
