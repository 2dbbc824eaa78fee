#include "TestSupport.h"

#include <atomic>

#include "base/Handles.h"

namespace doctest {
String StringMaker<std::wstring>::convert(const std::wstring& s) {
    const std::string n = sktest::Narrow(s);
    return String(n.c_str());
}
}  // namespace doctest

namespace sktest {

std::string Narrow(const std::wstring& s) {
    if (s.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

TTempDir::TTempDir() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        FPath = std::wstring(temp) + L"sk-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(counter++) + L"\\";
        if (::CreateDirectoryW(FPath.c_str(), nullptr)) break;
    }
}

TTempDir::~TTempDir() { DeleteTree(FPath); }

void DeleteTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW fd;
    {
        sk::TFindHandle find(::FindFirstFileW((base + L"*").c_str(), &fd));
        if (find) {
            do {
                const std::wstring name = fd.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = base + name;
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    DeleteTree(path);
                else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    ::RemoveDirectoryW(path.c_str());
                else
                    ::DeleteFileW(path.c_str());
            } while (::FindNextFileW(find.Get(), &fd));
        }
    }
    ::SetFileAttributesW(base.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(base.c_str());
}

std::vector<unsigned char> ReadBytes(const std::wstring& file) {
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr));
    std::vector<unsigned char> out;
    if (!h) return out;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h.Get(), &size);
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!out.empty()) ::ReadFile(h.Get(), out.data(), static_cast<DWORD>(out.size()), &read, nullptr);
    out.resize(read);
    return out;
}

void WriteBytes(const std::wstring& file, const std::vector<unsigned char>& bytes) {
    sk::THandle h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    REQUIRE(h.IsValid());
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteUtf16File(const std::wstring& file, const std::wstring& text) {
    std::vector<unsigned char> bytes{0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    WriteBytes(file, bytes);
}

std::wstring ReadTextFile(const std::wstring& file) {
    const auto bytes = ReadBytes(file);
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::wstring out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) out += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        return out;
    }
    std::wstring out;
    for (unsigned char b : bytes) out += static_cast<wchar_t>(b);
    return out;
}

std::wstring TestExeFolder() {
    wchar_t buf[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p = buf;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

}  // namespace sktest
