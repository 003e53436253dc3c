// kernel32: mutexes and waits, thread and process ids, local time, debugger presence.
//
// A named mutex must be one object for every process that runs on the same machine, as it is one
// object for every process of a Windows session. Its state therefore lives in a table of slots in a
// file in the machine folder, mapped shared by each process; each slot holds a robust,
// process-shared, recursive pthread mutex. Robustness gives Windows' abandoned semantics: when the
// owning thread or process dies, the kernel marks the mutex, and the next locker gets EOWNERDEAD
// (reported as WAIT_ABANDONED) and owns it. A slot also says which processes hold its references, so
// that those of a process that died without closing its handles can be let go, as Windows closes a
// dead process's handles.
#include <winsim/handles.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "lookup_cache.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr uint32_t kTableMagic = 0x324B5657;  // "WVK2"
constexpr int kSlots = 128;
constexpr int kHolders = 16;
constexpr char kTableFile[] = "kernel-objects";

struct Holder {
    int32_t pid;  // 0: a free entry
    uint32_t handles;
};

struct Slot {
    uint32_t references;  // open handles in all processes; 0 marks a free slot
    char name[MAX_PATH];
    pthread_mutex_t mutex;
    // The processes whose handles make up the references; those of processes beyond these entries
    // are counted, but stay when the process dies.
    Holder holders[kHolders];
};

struct SharedTable {
    uint32_t magic;
    uint32_t slotCount;
    pthread_mutex_t lock;  // guards the slots' names and references
    Slot slots[kSlots];
};

void InitRobustMutex(pthread_mutex_t* mutex, int type, bool shared) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, type);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (shared) pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// Locks a robust mutex; a previous owner's death only means the data it guarded may be half
// updated, which for the table (names and counts, each written in one step) is harmless.
int LockRobust(pthread_mutex_t* mutex) {
    int rc = pthread_mutex_lock(mutex);
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        rc = 0;
    }
    return rc;
}

// Under the table lock: counts a handle of this process.
void CountReference(Slot* slot) {
    ++slot->references;
    const int32_t self = getpid();
    Holder* free = nullptr;
    for (Holder& holder : slot->holders) {
        if (holder.pid == self) {
            ++holder.handles;
            return;
        }
        if (!free && holder.pid == 0) free = &holder;
    }
    if (free) *free = {self, 1};
}

void FreeIfUnused(Slot* slot) {
    if (slot->references == 0) slot->name[0] = '\0';
}

// Under the table lock: lets a handle of this process go. A handle the process got by fork was never
// counted, and is not let go either.
void DropReference(Slot* slot) {
    const int32_t self = getpid();
    uint32_t named = 0;
    for (Holder& holder : slot->holders) {
        if (holder.pid == self) {
            if (--holder.handles == 0) holder.pid = 0;
            --slot->references;
            return FreeIfUnused(slot);
        }
        named += holder.handles;
    }
    if (slot->references > named) --slot->references;
    FreeIfUnused(slot);
}

// Under the table lock: lets go the references of processes that have ended.
void DropDeadHolders(SharedTable* table) {
    for (Slot& slot : table->slots) {
        if (slot.references == 0) continue;
        for (Holder& holder : slot.holders) {
            if (holder.pid == 0 || kill(holder.pid, 0) == 0 || errno != ESRCH) continue;
            slot.references -= holder.handles < slot.references ? holder.handles : slot.references;
            holder = {};
        }
        FreeIfUnused(&slot);
    }
}

// One machine folder's table, mapped into this process.
class CTableMapping {
public:
    static std::shared_ptr<CTableMapping> ForMachine(const std::string& root) {
        static std::mutex lock;
        static std::map<std::string, std::weak_ptr<CTableMapping>> mappings;
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = mappings.begin(); it != mappings.end();)
            it = it->second.expired() ? mappings.erase(it) : std::next(it);
        if (auto existing = mappings[root].lock()) return existing;
        auto mapping = std::shared_ptr<CTableMapping>(new CTableMapping(root + "/" + kTableFile));
        if (!mapping->table_) return nullptr;
        mappings[root] = mapping;
        return mapping;
    }

    ~CTableMapping() {
        if (table_) munmap(table_, sizeof(SharedTable));
    }

    SharedTable* Table() { return table_; }

private:
    explicit CTableMapping(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        // The first process to get here lays the table out; the file lock keeps a second one from
        // mapping it half made.
        flock(fd, LOCK_EX);
        struct stat st {};
        bool ok = fstat(fd, &st) == 0;
        if (ok && st.st_size < static_cast<off_t>(sizeof(SharedTable))) ok = ftruncate(fd, sizeof(SharedTable)) == 0;
        void* view = ok ? mmap(nullptr, sizeof(SharedTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
        if (view != MAP_FAILED) {
            table_ = static_cast<SharedTable*>(view);
            if (table_->magic != kTableMagic) {
                std::memset(table_, 0, sizeof(SharedTable));
                InitRobustMutex(&table_->lock, PTHREAD_MUTEX_NORMAL, true);
                table_->slotCount = kSlots;
                table_->magic = kTableMagic;
            }
        }
        flock(fd, LOCK_UN);
        close(fd);
    }

    SharedTable* table_ = nullptr;
};

class CMutexObject : public winsim::WaitableObject {
public:
    // An unnamed mutex: private to this process.
    CMutexObject() : own_(std::make_unique<pthread_mutex_t>()) {
        InitRobustMutex(own_.get(), PTHREAD_MUTEX_RECURSIVE, false);
        mutex_ = own_.get();
    }
    // A named one: a slot of the machine's table, whose reference the caller has already counted.
    CMutexObject(std::shared_ptr<CTableMapping> mapping, Slot* slot)
        : mapping_(std::move(mapping)), slot_(slot), mutex_(&slot->mutex) {}

    ~CMutexObject() override {
        if (own_) {
            pthread_mutex_destroy(own_.get());
            return;
        }
        // Windows destroys the object with its last handle, owned or not; the slot becomes free and
        // its name unknown to OpenMutexA.
        SharedTable* table = mapping_->Table();
        LockRobust(&table->lock);
        DropReference(slot_);
        pthread_mutex_unlock(&table->lock);
    }

    DWORD Wait(DWORD milliseconds) override {
        int rc;
        if (milliseconds == INFINITE) {
            rc = pthread_mutex_lock(mutex_);
        } else {
            rc = pthread_mutex_trylock(mutex_);
            if (rc == EBUSY && milliseconds > 0) {
                timespec deadline {};
                clock_gettime(CLOCK_REALTIME, &deadline);
                deadline.tv_sec += milliseconds / 1000;
                deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
                if (deadline.tv_nsec >= 1000000000L) {
                    deadline.tv_sec += 1;
                    deadline.tv_nsec -= 1000000000L;
                }
                rc = pthread_mutex_timedlock(mutex_, &deadline);
                if (rc == ETIMEDOUT) winsim::Current().Advance(milliseconds);
            }
        }
        switch (rc) {
            case 0:
                return WAIT_OBJECT_0;
            case EOWNERDEAD:
                // The owner ended without releasing it: abandoned, and now ours.
                pthread_mutex_consistent(mutex_);
                return WAIT_ABANDONED;
            case EBUSY:
            case ETIMEDOUT:
                return WAIT_TIMEOUT;
            default:
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
        }
    }

    bool Release() { return pthread_mutex_unlock(mutex_) == 0; }

private:
    std::unique_ptr<pthread_mutex_t> own_;
    std::shared_ptr<CTableMapping> mapping_;
    Slot* slot_ = nullptr;
    pthread_mutex_t* mutex_;
};

thread_local winsim::CLookupCache<winsim::WaitableObject> t_waitCache WINSIM_FAST_TLS;
thread_local winsim::CLookupCache<CMutexObject> t_releaseCache WINSIM_FAST_TLS;

// Finds or creates the slot of a name under the table lock; counts the new reference. Sets *created
// when the slot is new. Null when the table is full.
Slot* AcquireSlot(SharedTable* table, const char* name, bool create, bool initialOwner, bool* created) {
    LockRobust(&table->lock);
    DropDeadHolders(table);
    Slot* found = nullptr;
    Slot* free = nullptr;
    for (auto& slot : table->slots) {
        if (slot.references == 0) {
            if (!free) free = &slot;
        } else if (std::strcmp(slot.name, name) == 0) {
            found = &slot;
            break;
        }
    }
    *created = false;
    if (!found && create && free) {
        std::memset(free, 0, sizeof(Slot));
        std::strcpy(free->name, name);
        InitRobustMutex(&free->mutex, PTHREAD_MUTEX_RECURSIVE, true);
        // Taken before the table lock is let go, so no other process can get in first.
        if (initialOwner) pthread_mutex_lock(&free->mutex);
        found = free;
        *created = true;
    }
    if (found) CountReference(found);
    pthread_mutex_unlock(&table->lock);
    return found;
}

HANDLE OpenNamedMutex(const char* name, bool create, bool initialOwner) {
    if (std::strlen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    auto mapping = CTableMapping::ForMachine(winsim::Current().RootFolder());
    if (!mapping) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool created = false;
    Slot* slot = AcquireSlot(mapping->Table(), name, create, initialOwner, &created);
    if (!slot) {
        SetLastError(create ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HANDLE handle = winsim::AddHandle(std::make_shared<CMutexObject>(std::move(mapping), slot));
    SetLastError(created || !create ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
}

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (name && *name) return OpenNamedMutex(name, true, initialOwner != FALSE);
    auto mutex = std::make_shared<CMutexObject>();
    if (initialOwner) mutex->Wait(INFINITE);
    HANDLE handle = winsim::AddHandle(std::move(mutex));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return OpenNamedMutex(name, false, false);
}

BOOL ReleaseMutex(HANDLE mutex) {
    CMutexObject* object = t_releaseCache.Find(mutex);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    winsim::WaitableObject* object = t_waitCache.Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(gettid()); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

namespace {

// Days since 1 January 1970 to a civil date (proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

// The machine is switched on at midnight on 17 February 2000 (day 11004 after 1 January 1970).
constexpr int64_t kBootDay = 11004;

void MachineTime(LPSYSTEMTIME time) {
    const uint64_t ms = winsim::Current().NowMs();
    const int64_t days = kBootDay + static_cast<int64_t>(ms / 86400000);
    const uint64_t inDay = ms % 86400000;
    int year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    time->wYear = static_cast<WORD>(year);
    time->wMonth = static_cast<WORD>(month);
    time->wDay = static_cast<WORD>(day);
    time->wDayOfWeek = static_cast<WORD>((days + 4) % 7);  // 1 January 1970 was a Thursday
    time->wHour = static_cast<WORD>(inDay / 3600000);
    time->wMinute = static_cast<WORD>(inDay / 60000 % 60);
    time->wSecond = static_cast<WORD>(inDay / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(inDay % 1000);
}

}  // namespace

BOOL IsDebuggerPresent() { return winsim::Current().DebuggerPresent() ? TRUE : FALSE; }

void GetLocalTime(LPSYSTEMTIME time) { MachineTime(time); }

void GetSystemTime(LPSYSTEMTIME time) { MachineTime(time); }
