#include "app/ConsoleOutput.h"

#include <utility>

namespace sk {

namespace {

// A handle the process was given for this stream: a file, a pipe or a console. GUI programs
// started without redirection get none (or one that leads nowhere).
bool Usable(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    return ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}

bool IsConsoleHandle(HANDLE h) {
    DWORD mode = 0;
    return ::GetConsoleMode(h, &mode) != FALSE;
}

TOutputStream StreamFor(DWORD which, bool attached) {
    HANDLE given = ::GetStdHandle(which);
    if (Usable(given)) return TOutputStream(given, THandle());
    if (!attached) return TOutputStream();
    // The console the program attached to: its screen buffer, opened for this run.
    THandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!console) return TOutputStream();
    HANDLE h = console.Get();
    return TOutputStream(h, std::move(console));
}

std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        out += text[i];
    }
    return out;
}

}  // namespace

std::string Utf8Of(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

TOutputStream::TOutputStream(HANDLE handle, THandle owned)
    : FHandle(handle), FOwned(std::move(owned)), FConsole(IsConsoleHandle(handle)) {}

bool TOutputStream::Write(const std::wstring& text) {
    if (!IsOpen() || text.empty()) return IsOpen();
    const std::wstring lines = WithCrLf(text);
    if (!FConsole) return WriteBytes(Utf8Of(lines));
    // In pieces: older consoles refuse one very long write.
    constexpr size_t kPiece = 8192;
    for (size_t at = 0; at < lines.size(); at += kPiece) {
        const DWORD count = static_cast<DWORD>(std::min(kPiece, lines.size() - at));
        DWORD written = 0;
        if (!::WriteConsoleW(FHandle, lines.data() + at, count, &written, nullptr)) return false;
    }
    return true;
}

bool TOutputStream::WriteBytes(const std::string& bytes) {
    if (!IsOpen()) return false;
    size_t at = 0;
    while (at < bytes.size()) {
        const DWORD count = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(FHandle, bytes.data() + at, count, &written, nullptr) || written == 0) return false;
        at += written;
    }
    return true;
}

TConsoleOutput::TConsoleOutput() {
    // Fails when the parent has no console (Explorer, a service) or this process has one already;
    // redirected handles work either way.
    const bool attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    FOut = StreamFor(STD_OUTPUT_HANDLE, attached);
    FErr = StreamFor(STD_ERROR_HANDLE, attached);
}

}  // namespace sk
