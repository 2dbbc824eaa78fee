// Where a command-line run writes: the console of the program that started it, or whatever its
// standard output and standard error were redirected to. The program stays a GUI program; it
// attaches to its parent's console when it has one.
#pragma once

#include <windows.h>

#include <string>

#include "base/Handles.h"

namespace sk {

// One output stream: text goes to a console with WriteConsoleW (any language shows as it is), to a
// file or pipe as UTF-8 bytes, and nowhere when there is neither (started without a console and
// without redirection).
class TOutputStream {
public:
    TOutputStream() = default;
    // handle is not owned; owned, when set, keeps a handle this stream opened itself.
    TOutputStream(HANDLE handle, THandle owned);

    // Writes the text as it is ("\n" becomes CR LF on the way). Returns false when it could not.
    bool Write(const std::wstring& text);
    // Writes bytes as they are (JSON, already UTF-8).
    bool WriteBytes(const std::string& bytes);
    bool IsConsole() const { return FConsole; }
    bool IsOpen() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle = nullptr;
    THandle FOwned;
    bool FConsole = false;
};

// Standard output and standard error of a run, settled once at its start.
class TConsoleOutput {
public:
    // Attaches to the parent's console (AttachConsole(ATTACH_PARENT_PROCESS)) and takes the standard
    // handles: a redirected one as it is, else the console's screen buffer when there is a console.
    TConsoleOutput();
    TConsoleOutput(const TConsoleOutput&) = delete;
    TConsoleOutput& operator=(const TConsoleOutput&) = delete;

    TOutputStream& Out() { return FOut; }
    TOutputStream& Err() { return FErr; }

private:
    TOutputStream FOut, FErr;
};

// UTF-8 bytes of a UTF-16 text (a lone surrogate becomes U+FFFD).
std::string Utf8Of(const std::wstring& text);

}  // namespace sk
