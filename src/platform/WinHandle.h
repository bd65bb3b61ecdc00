#pragma once

#include <windows.h>

#include <utility>

namespace platform {

/** Owns one Win32 handle and releases it on every path; Traits say what "none" is and how to release. */
template <typename Traits> class WinOwner final
{
public:
    using Handle = typename Traits::Handle;

    WinOwner() = default;
    explicit WinOwner(Handle handle) : m_handle(handle) {}
    ~WinOwner() { reset(); }
    WinOwner(const WinOwner&) = delete;
    WinOwner& operator=(const WinOwner&) = delete;
    WinOwner(WinOwner&& other) noexcept : m_handle(other.release()) {}
    WinOwner& operator=(WinOwner&& other) noexcept
    {
        reset(other.release());
        return *this;
    }

    /** The handle, still owned. */
    Handle get() const { return m_handle; }
    /** True when a handle is held. */
    bool valid() const { return Traits::valid(m_handle); }
    /** Releases what is held and takes handle instead. */
    void reset(Handle handle = Traits::none())
    {
        if (valid())
            Traits::close(m_handle);
        m_handle = handle;
    }
    /** Gives the handle up without releasing it. */
    Handle release() { return std::exchange(m_handle, Traits::none()); }
    /** Releases what is held; for functions that hand a new handle back through a pointer. */
    Handle* receive()
    {
        reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::none();
};

struct KernelHandleTraits final
{
    using Handle = HANDLE;
    static Handle none() { return nullptr; }
    // Some functions say "none" with a null handle, others with INVALID_HANDLE_VALUE.
    static bool valid(Handle handle) { return handle && handle != INVALID_HANDLE_VALUE; }
    static void close(Handle handle) { CloseHandle(handle); }
};

struct RegistryKeyTraits final
{
    using Handle = HKEY;
    static Handle none() { return nullptr; }
    static bool valid(Handle key) { return key != nullptr; }
    static void close(Handle key) { RegCloseKey(key); }
};

/** A kernel object: file, process, snapshot. */
using WinHandle = WinOwner<KernelHandleTraits>;
/** An open registry key. */
using RegKey = WinOwner<RegistryKeyTraits>;

} // namespace platform
