// Small move-only owners for Win32 resources: one generic template and a one-line alias per kind.
// Each owner releases its resource exactly once; release() hands it over to someone else.
#pragma once

#include <windows.h>

#include <utility>

namespace qv {

// Whether a handle names a resource to close. Most kinds report failure as zero; files, searches,
// snapshots and change signals report it as INVALID_HANDLE_VALUE, which is no constant expression.
template <typename Handle>
constexpr bool IsNonZero(Handle handle) noexcept {
    return handle != Handle{};
}
inline bool IsOpenFileHandle(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// An empty owner holds zero; whatever it holds, it closes only what its validity rule accepts.
template <typename Handle, auto Close, auto IsValid = &IsNonZero<Handle>>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return IsValid(handle_); }
    Handle release() noexcept { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (IsValid(old)) Close(old);
    }

private:
    Handle handle_{};
};

inline void CloseHandleQuietly(HANDLE handle) noexcept {
    ::CloseHandle(handle);
}
inline void FreeLibraryQuietly(HMODULE module) noexcept {
    ::FreeLibrary(module);
}
inline void DeleteAtomQuietly(ATOM atom) noexcept {
    ::GlobalDeleteAtom(atom);
}
inline void DestroyWindowQuietly(HWND window) noexcept {
    ::DestroyWindow(window);
}
inline void FindCloseQuietly(HANDLE search) noexcept {
    ::FindClose(search);
}

using UniqueHandle = UniqueResource<HANDLE, CloseHandleQuietly>;
using UniqueFile = UniqueResource<HANDLE, CloseHandleQuietly, &IsOpenFileHandle>;  // files and snapshots
using UniqueFileSearch = UniqueResource<HANDLE, FindCloseQuietly, &IsOpenFileHandle>;
using UniqueModule = UniqueResource<HMODULE, FreeLibraryQuietly>;
using UniqueGlobalAtom = UniqueResource<ATOM, DeleteAtomQuietly>;
using UniqueWindow = UniqueResource<HWND, DestroyWindowQuietly>;

inline void ReleaseScreenDcQuietly(HDC dc) noexcept {
    ::ReleaseDC(nullptr, dc);
}
inline void DeleteDcQuietly(HDC dc) noexcept {
    ::DeleteDC(dc);
}
inline void DeleteBitmapQuietly(HBITMAP bitmap) noexcept {
    ::DeleteObject(bitmap);
}

// Holds a slim reader/writer lock for the owner's scope: exclusively, or shared with other readers.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockShared(&lock_); }
    ~SharedLock() { ::ReleaseSRWLockShared(&lock_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& lock_;
};

using UniqueScreenDc = UniqueResource<HDC, ReleaseScreenDcQuietly>;  // from GetDC(nullptr)
using UniqueMemoryDc = UniqueResource<HDC, DeleteDcQuietly>;         // from CreateCompatibleDC
using UniqueBitmap = UniqueResource<HBITMAP, DeleteBitmapQuietly>;

// Runs a clean-up at scope exit unless release() was called: commit-or-roll-back for steps that are
// not a single handle (a registered hotkey, a window property).
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_) f_();
    }
    void release() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

// COM interface pointer owner for the few shell interfaces used without COM initialisation.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_) p_->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T** put() noexcept {
        if (p_) p_->Release();
        p_ = nullptr;
        return &p_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace qv
