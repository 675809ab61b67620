#pragma once

#include <utility>
#include <windows.h>

namespace brimble::win32 {

// A kernel handle closed when this goes; both null and INVALID_HANDLE_VALUE mean none.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : FHandle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            FHandle = std::exchange(other.FHandle, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle && FHandle != INVALID_HANDLE_VALUE; }
    void Reset() {
        if (*this) ::CloseHandle(FHandle);
        FHandle = nullptr;
    }

private:
    HANDLE FHandle = nullptr;
};

// A registry key closed when this goes.
class UniqueKey {
public:
    UniqueKey() = default;
    ~UniqueKey() {
        if (FKey) ::RegCloseKey(FKey);
    }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    HKEY* Out() { return &FKey; }
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

} // namespace brimble::win32
