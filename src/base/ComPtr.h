// COM: an interface pointer that releases itself, and COM initialised for one scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace sk {

// A COM interface pointer that releases itself.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
    TComPtr& operator=(TComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            FPtr = std::exchange(o.FPtr, nullptr);
        }
        return *this;
    }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    T** Receive() {
        Reset();
        return &FPtr;
    }
    void Reset() {
        if (FPtr) std::exchange(FPtr, nullptr)->Release();
    }

private:
    T* FPtr = nullptr;
};

// CoInitialize for one scope.
class TComInit {
public:
    TComInit() : FHr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~TComInit() {
        if (SUCCEEDED(FHr)) ::CoUninitialize();
    }
    TComInit(const TComInit&) = delete;
    TComInit& operator=(const TComInit&) = delete;

private:
    HRESULT FHr;
};

}  // namespace sk
