#include "app/GdiPlus.h"

#include <windows.h>

#include <string>

#include "base/Handles.h"

namespace sk {

namespace {

struct TGdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

using TStartup = int(WINAPI*)(ULONG_PTR*, const TGdiplusStartupInput*, void*);
using TShutdown = void(WINAPI*)(ULONG_PTR);

TModule gGdiPlus;
ULONG_PTR gToken = 0;

}  // namespace

void StartGdiPlus() {
    // Only the system folder: the program runs elevated, so a gdiplus.dll planted beside it or in
    // the current folder must never be loaded.
    gGdiPlus.Reset(::LoadLibraryExW(L"gdiplus.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!gGdiPlus) {
        wchar_t system[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        const std::wstring path = std::wstring(system) + L"\\gdiplus.dll";
        gGdiPlus.Reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    if (!gGdiPlus) return;
    const auto startup =
        reinterpret_cast<TStartup>(reinterpret_cast<void*>(::GetProcAddress(gGdiPlus.Get(), "GdiplusStartup")));
    TGdiplusStartupInput input;
    if (!startup || startup(&gToken, &input, nullptr) != 0) {
        gToken = 0;
        gGdiPlus.Reset();
    }
}

void ShutdownGdiPlus() {
    if (gGdiPlus && gToken) {
        const auto shutdown =
            reinterpret_cast<TShutdown>(reinterpret_cast<void*>(::GetProcAddress(gGdiPlus.Get(), "GdiplusShutdown")));
        if (shutdown) shutdown(gToken);
    }
    gToken = 0;
    gGdiPlus.Reset();
}

bool GdiPlusStarted() { return gToken != 0; }

}  // namespace sk
