// Helpers shared by the shield's tests: byte-exact files, encodings and a folder's leftovers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Handles.h"

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

}  // namespace sktest
