// What the hosts-file benchmarks share: a scratch folder of their own and lists of 250,000 entries.
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

// A list of kHostsEntries entries in the public "unified" format: a title without a date, the
// usual header lines (localhost, broadcasthost, the ip6- names), comments, then one
// "0.0.0.0 <name>" line per entry, LF ended, names partly starting with digits.
inline void WriteUnifiedHostsList(const std::wstring& file) {
    std::string text =
        "# Title: a unified hosts file for the benchmarks\n#\n# Date: 01 January 2025\n\n"
        "127.0.0.1 localhost\n127.0.0.1 localhost.localdomain\n127.0.0.1 local\n"
        "255.255.255.255 broadcasthost\n::1 localhost\n::1 ip6-localhost\n::1 ip6-loopback\n"
        "fe80::1%lo0 localhost\nff00::0 ip6-localnet\nff00::0 ip6-mcastprefix\nff02::1 ip6-allnodes\n"
        "ff02::2 ip6-allrouters\nff02::3 ip6-allhosts\n0.0.0.0 0.0.0.0\n\n# Start of the entries\n";
    text.reserve(static_cast<size_t>(kHostsEntries) * 36);
    char line[64];
    for (int i = 0; i < kHostsEntries; ++i) {
        const int n = i % 3 == 0 ? std::snprintf(line, sizeof line, "0.0.0.0 %d-ads.tracker-%06d.example\n", i % 97, i)
                                 : std::snprintf(line, sizeof line, "0.0.0.0 malicious-host-%06d.example\n", i);
        text.append(line, static_cast<size_t>(n));
    }
    text += "# End of the entries\n";
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace skbench
