// Helpers shared by the shield's tests: byte-exact files, encodings and a folder's leftovers.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Handles.h"
#include "security/IESecurityFuncs.h"
#include "base/Sha256.h"

namespace sktest {

inline std::string ReadAll(const std::wstring& file) {
    const auto bytes = ReadBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteAll(const std::wstring& file, const std::string& bytes) {
    WriteBytes(file, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

// Each line followed by CR LF.
inline std::string CrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

inline std::string Ansi(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string Utf16LE(const std::wstring& text, bool bom = true) {
    std::string out = bom ? std::string("\xFF\xFE") : std::string();
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

inline std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Names in the folder that start with prefix (temporary files left behind, for instance).
inline std::vector<std::wstring> FilesStartingWith(const std::wstring& folder, const std::wstring& prefix) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + prefix + L"*").c_str(), &fd));
    if (!find) return names;
    do {
        names.push_back(fd.cFileName);
    } while (::FindNextFileW(find.Get(), &fd));
    return names;
}

inline std::string Sha256Of(const std::string& bytes) {
    sk::TSha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return Narrow(sk::TSha256::Hex(hash.Final()));
}

// Every file under the folder (its path below it, backslashes kept) with the SHA-256 of its bytes:
// a fault case ends by comparing the whole folder with what it should hold.
inline void AddSnapshot(const std::wstring& folder, const std::wstring& prefix, std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAW fd;
    sk::TFindHandle find(::FindFirstFileW((folder + L"*").c_str(), &fd));
    if (!find) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            AddSnapshot(folder + name + L"\\", prefix + name + L"\\", out);
        else
            out[Narrow(prefix + name)] = Sha256Of(ReadAll(folder + name));
    } while (::FindNextFileW(find.Get(), &fd));
}
inline std::map<std::string, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::string, std::string> out;
    AddSnapshot(folder, L"", out);
    return out;
}

// The hosts file the shield writes: its signature, the list's lines (header lines already given
// commented out by the caller), then the user's kept entries in their section.
inline std::string ShieldedHosts(const std::vector<std::string>& listLines, const std::vector<std::string>& userLines) {
    std::vector<std::string> lines{std::string(sk::kShieldSignature)};
    lines.insert(lines.end(), listLines.begin(), listLines.end());
    if (!userLines.empty()) {
        lines.push_back(std::string(sk::kUserSectionBegin));
        lines.insert(lines.end(), userLines.begin(), userLines.end());
        lines.push_back(std::string(sk::kUserSectionEnd));
    }
    return CrLf(lines);
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

// What Turn on makes of an ASCII list and the user's own ASCII hosts file: the header lines and
// single words of the list commented out, the user's entries for this computer and the local
// network kept.
inline std::string ShieldedFrom(const std::string& list, const std::string& user) {
    using sk::hostsline::TListLine;
    std::vector<std::string> listLines, userLines;
    for (const auto& line : SplitLines(list)) {
        const auto kind = sk::hostsline::ClassifyListLine(std::string_view(line));
        listLines.push_back(kind == TListLine::Header || kind == TListLine::NoMapping ? "# " + line : line);
    }
    for (const auto& line : SplitLines(user)) {
        const auto t = sk::hostsline::Trim(std::string_view(line));
        if (!sk::hostsline::IsCommentOrBlank(t) && sk::hostsline::KeepsUserEntry(t)) userLines.push_back(line);
    }
    return ShieldedHosts(listLines, userLines);
}

// A list in the public "unified" format, written for these tests: a title comment without a
// date, the usual header lines, comments, a commented-out entry, then `entries` lines
// "0.0.0.0 <name>" whose names partly start with digits. LF line ends, as such lists have.
inline std::string UnifiedList(int entries) {
    std::string text =
        "# Title: a unified hosts file for tests\n"
        "#\n"
        "# This hosts file is a merged collection of hosts from reputable sources,\n"
        "# with a dash of crowd sourcing via GitHub\n"
        "#\n"
        "# Date: 01 January 2025 00:00:00 (UTC)\n"
        "# Number of unique domains: many\n"
        "# ===============================================================\n"
        "\n"
        "127.0.0.1 localhost\n"
        "127.0.0.1 localhost.localdomain\n"
        "127.0.0.1 local\n"
        "255.255.255.255 broadcasthost\n"
        "::1 localhost\n"
        "::1 ip6-localhost\n"
        "::1 ip6-loopback\n"
        "fe80::1%lo0 localhost\n"
        "ff00::0 ip6-localnet\n"
        "ff00::0 ip6-mcastprefix\n"
        "ff02::1 ip6-allnodes\n"
        "ff02::2 ip6-allrouters\n"
        "ff02::3 ip6-allhosts\n"
        "0.0.0.0 0.0.0.0\n"
        "\n"
        "# Custom host records are listed here.\n"
        "\n"
        "# End of custom host records.\n"
        "# Start StevenBlack\n"
        "\n"
        "#=====================================\n"
        "# Title: Hosts contributed by Steven Black\n"
        "#127.0.0.1 commented.example\n";
    for (int i = 0; i < entries; ++i) {
        if (i % 3 == 0)
            text += "0.0.0.0 " + std::to_string(i) + "-ads.example\n";
        else
            text += "0.0.0.0 tracker" + std::to_string(i) + ".example\n";
    }
    text += "# End StevenBlack\n";
    return text;
}

// File calls that fail on demand, for the faults a test cannot cause for real: a disk that fills, a
// replacement that stops half-way, a backup that does not read back the same.
class TFaultyCalls : public sk::TFileCalls {
public:
    // Writes of replacements of files whose names start with Target (every file when empty) fail
    // with ERROR_DISK_FULL once this many bytes went to them. Unlimited when negative.
    long long WriteBudget = -1;
    std::wstring Target;
    // Writes to those files land with their first byte changed.
    bool CorruptWrites = false;
    bool FailFlush = false;
    // ReplaceFileW fails with this error (0: it works). With ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 the
    // old file is first moved aside, as Wine's ReplaceFileW does when its second step fails.
    DWORD ReplaceError = 0;
    // The next this many moves onto those files fail with ERROR_ACCESS_DENIED.
    int MoveFailures = 0;
    int Replaces = 0, Moves = 0;

    BOOL Write(const std::wstring& target, HANDLE file, const void* data, DWORD size, DWORD* written) override {
        if (!Applies(target)) return sk::TFileCalls::Write(target, file, data, size, written);
        if (WriteBudget >= 0 && static_cast<long long>(size) > WriteBudget) {
            *written = 0;
            ::SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        if (WriteBudget >= 0) WriteBudget -= size;
        if (CorruptWrites && size > 0) {
            std::string copy(static_cast<const char*>(data), size);
            copy[0] = static_cast<char>(copy[0] ^ 0x20);
            return sk::TFileCalls::Write(target, file, copy.data(), size, written);
        }
        return sk::TFileCalls::Write(target, file, data, size, written);
    }
    BOOL Flush(const std::wstring& target, HANDLE file) override {
        if (FailFlush && Applies(target)) {
            ::SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        return sk::TFileCalls::Flush(target, file);
    }
    BOOL Replace(const wchar_t* replaced, const wchar_t* replacement, const wchar_t* aside) override {
        ++Replaces;
        if (ReplaceError == 0 || !Applies(replaced)) return sk::TFileCalls::Replace(replaced, replacement, aside);
        if (ReplaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) ::MoveFileExW(replaced, aside, MOVEFILE_REPLACE_EXISTING);
        ::SetLastError(ReplaceError);
        return FALSE;
    }
    BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags) override {
        ++Moves;
        if (MoveFailures <= 0 || !Applies(to)) return sk::TFileCalls::Move(from, to, flags);
        --MoveFailures;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }

private:
    bool Applies(const std::wstring& file) const { return Target.empty() || file.rfind(Target, 0) == 0; }
};

// The shield on files of a scratch folder: hosts, list, backup and settings, with a counting pump
// and resolver flush.
struct TShieldFixture {
    TTempDir Dir;
    std::wstring Hosts = Dir / L"etc\\hosts";
    std::wstring List = Dir / L"hosts.txt";
    std::wstring Backup = Dir / L"backup\\hosts";
    std::wstring Settings = Dir / L"config.ini";
    int Flushes = 0;
    uint64_t MaxFileBytes = 0;
    sk::TFileCalls* Files = nullptr;

    class TNoPump final : public sk::TMessagePump {
    public:
        void Pump() override {}
    } Pump;

    sk::TIESecurityOptions Options() {
        sk::TIESecurityOptions o;
        o.HostsFileName = Hosts;
        o.ListFileName = List;
        o.BackupFileName = Backup;
        o.SettingsFileName = Settings;
        o.Pump = &Pump;
        o.FlushResolverCache = [this] { ++Flushes; };
        o.MaxFileBytes = MaxFileBytes;
        o.Files = Files;
        return o;
    }
    std::unique_ptr<sk::TIESecurity> Make() { return std::make_unique<sk::TIESecurity>(Options()); }
    std::map<std::string, std::string> Contents() const { return Snapshot(Dir.Path()); }
};

// The number of lines of UnifiedList before its first entry, and of header lines among them.
constexpr int kUnifiedHeadLines = 32;
constexpr int kUnifiedHeaderMappings = 14;

}  // namespace sktest
