// Errors the program raises: each carries the message the user sees in the error box.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace sk {

class TError : public std::exception {
public:
    explicit TError(std::wstring message) : FMessage(std::move(message)) {}
    const std::wstring& Message() const { return FMessage; }
    const char* what() const noexcept override { return "Surfkeep error"; }

private:
    std::wstring FMessage;
};

// "Unable to write to <file>": a settings or profile write that failed.
class TWriteError : public TError {
public:
    using TError::TError;
};

// The text of the error box: the message, with a full stop added unless it already ends in a
// character at or below '.' (so "Done." and "Error!" stay as they are).
std::wstring ErrorBoxText(const std::wstring& message);

// The application's error box: stop icon, OK button, the application's title as caption.
void ShowErrorBox(HWND owner, const std::wstring& message);

}  // namespace sk
