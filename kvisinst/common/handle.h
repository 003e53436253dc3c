// Owning holders of the system's handles, one kind per close function, all built on CUniqueHandle.
// A holder is move-only: exactly one object closes a handle, once. Closing keeps the thread's last
// error, so a holder going out of scope between a failed call and its GetLastError changes nothing.
#pragma once

#include "kvisinst/common/win32.h"

#include <cstdint>
#include <type_traits>

// Holds one handle of type T (a pointer type), closed with Closer()(handle). InvalidValue is the value
// that means "nothing held": 0 for most kinds, -1 (INVALID_HANDLE_VALUE) for files, INFs and device
// information sets.
template <typename T, typename Closer, intptr_t InvalidValue = 0>
class CUniqueHandle {
public:
    CUniqueHandle() noexcept = default;
    explicit CUniqueHandle(T handle) noexcept : handle_(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(CUniqueHandle&& other) noexcept : handle_(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    static T Invalid() noexcept { return reinterpret_cast<T>(InvalidValue); }

    T Get() const noexcept { return handle_; }
    operator T() const noexcept { return handle_; }
    T operator->() const noexcept { return handle_; }
    bool IsValid() const noexcept { return handle_ != Invalid(); }
    // Tests validity, not null: `if (file)` is right for an INVALID_HANDLE_VALUE kind too.
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives the handle up without closing it.
    T Release() noexcept {
        const T handle = handle_;
        handle_ = Invalid();
        return handle;
    }

    // Closes what is held (if anything) and holds `handle` instead.
    void Reset(T handle = Invalid()) noexcept {
        Close();
        handle_ = handle;
    }

    // Closes what is held and returns the close function's result (a value-initialised result, 0,
    // when nothing was held and nothing was called).
    auto Close() noexcept {
        using Result = decltype(Closer()(handle_));
        const DWORD lastError = GetLastError();
        if constexpr (std::is_void_v<Result>) {
            if (IsValid()) Closer()(Release());
            SetLastError(lastError);
        } else {
            const Result result = IsValid() ? Closer()(Release()) : Result();
            SetLastError(lastError);
            return result;
        }
    }

    // For a call that returns a handle through an out-parameter: what is held is closed first.
    T* Put() noexcept {
        Reset();
        return &handle_;
    }

private:
    T handle_ = Invalid();
};

namespace handle_closers {
struct RegCloseKeyCall {
    LONG operator()(HKEY key) const { return RegCloseKey(key); }
};
struct CloseServiceHandleCall {
    BOOL operator()(SC_HANDLE service) const { return CloseServiceHandle(service); }
};
struct FreeLibraryCall {
    BOOL operator()(HMODULE module) const { return FreeLibrary(module); }
};
struct DestroyDeviceInfoListCall {
    BOOL operator()(HDEVINFO set) const { return SetupDiDestroyDeviceInfoList(set); }
};
struct SetupCloseInfFileCall {
    void operator()(HINF inf) const { SetupCloseInfFile(inf); }
};
struct CloseHandleCall {
    BOOL operator()(HANDLE handle) const { return CloseHandle(handle); }
};
struct LocalFreeCall {
    template <typename P>
    HLOCAL operator()(P memory) const {
        return LocalFree(reinterpret_cast<HLOCAL>(memory));
    }
};
struct ReleaseCall {
    template <typename I>
    ULONG operator()(I* object) const {
        return object->Release();
    }
};
}  // namespace handle_closers

constexpr intptr_t kInvalidHandleValue = -1;

// Service control manager and service handles.
using CServiceHandle = CUniqueHandle<SC_HANDLE, handle_closers::CloseServiceHandleCall>;
// One reference to a library loaded with LoadLibraryA.
using CLibrary = CUniqueHandle<HMODULE, handle_closers::FreeLibraryCall>;
// A SetupAPI device information set (SetupDiGetClassDevsA fails with INVALID_HANDLE_VALUE).
using CDeviceInfoSet = CUniqueHandle<HDEVINFO, handle_closers::DestroyDeviceInfoListCall, kInvalidHandleValue>;
// An INF opened with SetupOpenInfFileA (which fails with INVALID_HANDLE_VALUE).
using CInfHandle = CUniqueHandle<HINF, handle_closers::SetupCloseInfFileCall, kInvalidHandleValue>;
// Kernel objects whose failed creation gives null: mutexes, processes, threads, snapshots' peers.
using CKernelHandle = CUniqueHandle<HANDLE, handle_closers::CloseHandleCall>;
// Kernel objects whose failed creation gives INVALID_HANDLE_VALUE: files (CreateFileA), toolhelp
// snapshots.
using CFileHandle = CUniqueHandle<HANDLE, handle_closers::CloseHandleCall, kInvalidHandleValue>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessageA's buffer, ...).
template <typename P>
using CLocalMemory = CUniqueHandle<P, handle_closers::LocalFreeCall>;
// One reference to a COM interface.
template <typename I>
using CComPtr = CUniqueHandle<I*, handle_closers::ReleaseCall>;

// The export `name` of a loaded library as a function of type F, or null.
template <typename F>
F GetProcAddressAs(HMODULE module, const char* name) {
    // Through the generic function type, which every function pointer type converts from and to.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Owns one open registry key. All results are Win32 status codes (ERROR_SUCCESS = 0).
class CRegKey {
public:
    CRegKey() = default;
    explicit CRegKey(HKEY key) : key_(key) {}

    HKEY Handle() const { return key_.Get(); }
    operator HKEY() const { return key_.Get(); }
    // Gives the key up without closing it.
    HKEY Release() { return key_.Release(); }

    // Closes the held key, if any, and returns that close's status; 0 and no call when empty.
    LONG Close() { return key_.Close(); }

    // RegOpenKeyExA(parent, name, 0, access). On success the previously held key is closed (the
    // result is that close's status) and the new key held; on failure the held key stays.
    LONG Open(HKEY parent, LPCSTR name, REGSAM access = KEY_READ | KEY_WRITE);

    // RegCreateKeyExA with reserved 0; the disposition goes through `disposition` when given. Held
    // key replaced as by Open, and kept on failure.
    LONG Create(HKEY parent, LPCSTR name, LPSTR className = nullptr, DWORD options = REG_OPTION_NON_VOLATILE,
                REGSAM access = KEY_READ | KEY_WRITE, LPSECURITY_ATTRIBUTES security = nullptr,
                LPDWORD disposition = nullptr);

    // Deletes the named subkey of the held key and everything below it, children before parents.
    // Stops at the first failure and returns it; what was deleted so far stays deleted.
    LONG RecurseDeleteKey(LPCSTR name);

private:
    // Closes the held key and holds `key`; returns the close's status.
    LONG Replace(HKEY key) {
        const LONG closed = key_.Close();
        key_.Reset(key);
        return closed;
    }

    CUniqueHandle<HKEY, handle_closers::RegCloseKeyCall> key_;
};
