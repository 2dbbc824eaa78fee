// Running the real program with arguments, as a script does: a copy of surfkeep.exe in a scratch
// folder of its own (its settings, language pack, list and restore points go there), started as a
// child with its standard output and standard error on pipes, its exit code and both outputs kept.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <algorithm>

#include "TestSupport.h"
#include "base/Handles.h"
#include "base/Paths.h"

namespace sktest {

inline const std::wstring& ProgramUnderTest() {
    static const std::wstring exe = TestExeFolder() + L"..\\..\\surfkeep.exe";
    return exe;
}

inline std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

struct TCliResult {
    DWORD Code = 0xDEAD;
    std::string Out, Err;  // the bytes as written
    std::wstring OutText() const { return FromUtf8(Out); }
    std::wstring ErrText() const { return FromUtf8(Err); }
};

// A copy of the program under a name of this test process's own (the instance mutex is the file
// name: no other test's copy shares it), in a fresh folder.
class TProgramCopy {
public:
    TProgramCopy() : FExe(FDir / (L"sk-cli-" + std::to_wstring(::GetCurrentProcessId()) + L".exe")) {
        REQUIRE(::CopyFileW(ProgramUnderTest().c_str(), FExe.c_str(), FALSE));
    }
    const std::wstring& Exe() const { return FExe; }
    const TTempDir& Dir() const { return FDir; }
    std::wstring operator/(const std::wstring& name) const { return FDir / name; }

    // Runs the copy with the arguments (one command line's text after the program's name).
    TCliResult Run(const std::wstring& arguments, DWORD timeoutMs = 120000) const {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
        REQUIRE(::CreatePipe(&outRead, &outWrite, &inherit, 0));
        REQUIRE(::CreatePipe(&errRead, &errWrite, &inherit, 0));
        sk::THandle outR(outRead), outW(outWrite), errR(errRead), errW(errWrite);
        ::SetHandleInformation(outR.Get(), HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(errR.Get(), HANDLE_FLAG_INHERIT, 0);
        sk::THandle input(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                        OPEN_EXISTING, 0, nullptr));

        STARTUPINFOW si{sizeof si};
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = input.Get();
        si.hStdOutput = outW.Get();
        si.hStdError = errW.Get();
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + FExe + L"\" " + arguments;
        // Starting a program under Wine fails now and then while the server is busy: a few tries.
        BOOL started = FALSE;
        for (int attempt = 0; attempt < 5 && !started; ++attempt) {
            if (attempt) ::Sleep(200);
            started = ::CreateProcessW(FExe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                       FDir.Path().c_str(), &si, &pi);
        }
        REQUIRE(started);
        sk::THandle process(pi.hProcess), thread(pi.hThread);
        // Only the child (and what it starts) holds the writing ends now.
        outW.Reset();
        errW.Reset();

        // Read until the child has ended and both pipes are empty, not until they close: a process
        // the child starts may keep a copy of a writing end (under Wine the desktop process that the
        // first window of a prefix starts inherits standard error) and hold it open for good.
        TCliResult result;
        auto drain = [](HANDLE pipe, std::string& into) {
            DWORD available = 0;
            while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                char buffer[4096];
                DWORD got = 0;
                if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) break;
                into.append(buffer, got);
            }
        };
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            const bool ended = ::WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0;
            drain(outR.Get(), result.Out);
            drain(errR.Get(), result.Err);
            if (ended) break;
            if (::GetTickCount64() > end) {
                ::TerminateProcess(process.Get(), 0xDEAD);
                FAIL("the program did not end");
            }
        }
        ::GetExitCodeProcess(process.Get(), &result.Code);
        return result;
    }

private:
    TTempDir FDir;
    std::wstring FExe;
};

inline nlohmann::json ReadJson(const std::wstring& file) {
    const std::vector<unsigned char> bytes = ReadBytes(file);
    return nlohmann::json::parse(bytes.begin(), bytes.end());
}

inline std::wstring Wide(const nlohmann::json& text) { return FromUtf8(text.get<std::string>()); }

}  // namespace sktest
