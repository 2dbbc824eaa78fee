// The WinInet handle owner, apart from the other handles so that only the code that speaks HTTP
// or reads the URL cache pulls in wininet.h.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "base/Handles.h"

namespace sk {

struct TInternetTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::InternetCloseHandle(h); }
};
using TInternetHandle = TScopedHandle<TInternetTraits>;

}  // namespace sk
