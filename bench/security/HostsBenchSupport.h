// What the hosts-file benchmarks share: a scratch folder of their own and a list of 250,000 entries.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "base/Handles.h"

namespace skbench {

constexpr int kHostsEntries = 250000;

// %TEMP%\<prefix><process id>\, made if missing.
inline std::wstring MakeScratchFolder(const std::wstring& prefix) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + prefix + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A hosts file: the localhost line, then kHostsEntries loopback entries.
inline void WriteHostsList(const std::wstring& file) {
    std::string text = "# 2010-09-07\r\n127.0.0.1       localhost\r\n";
    text.reserve(static_cast<size_t>(kHostsEntries) * 40);
    char line[64];
    for (int i = 0; i < kHostsEntries; ++i) {
        const int n = std::snprintf(line, sizeof line, "127.0.0.1\tmalicious-host-%06d.example\r\n", i);
        text.append(line, static_cast<size_t>(n));
    }
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace skbench
