#include "base/Sha256.h"

#include <bcrypt.h>

#include <string>

#include "base/Errors.h"
#include "base/Handles.h"

namespace sk {

namespace {

// bcrypt.dll is loaded at the first hash, not at start: the program's start loads only what it
// needs, and a hash is needed only when the shield changes files or a list arrives.
struct TBCrypt {
    using TOpen = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
    using TCreate = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
    using THashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
    using TFinish = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
    using TDestroy = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

    TModule Module;
    TCreate Create = nullptr;
    THashData HashData = nullptr;
    TFinish Finish = nullptr;
    TDestroy Destroy = nullptr;
    BCRYPT_ALG_HANDLE Provider = nullptr;  // one for the process, kept (the platform closes it at exit)

    TBCrypt() {
        wchar_t system[MAX_PATH] = {};
        const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        // A full path: the program runs elevated and must not pick up a bcrypt.dll planted elsewhere.
        Module.Reset(::LoadLibraryW((std::wstring(system) + L"\\bcrypt.dll").c_str()));
        if (!Module) return;
        auto proc = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(Module.Get(), name)); };
        const auto open = reinterpret_cast<TOpen>(proc("BCryptOpenAlgorithmProvider"));
        Create = reinterpret_cast<TCreate>(proc("BCryptCreateHash"));
        HashData = reinterpret_cast<THashData>(proc("BCryptHashData"));
        Finish = reinterpret_cast<TFinish>(proc("BCryptFinishHash"));
        Destroy = reinterpret_cast<TDestroy>(proc("BCryptDestroyHash"));
        if (!open || !Create || !HashData || !Finish || !Destroy ||
            open(&Provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            Provider = nullptr;
    }
};

const TBCrypt& BCrypt() {
    static const TBCrypt bcrypt;
    return bcrypt;
}

}  // namespace

TSha256::TSha256() { Open(); }

TSha256::~TSha256() {
    if (FHash) BCrypt().Destroy(static_cast<BCRYPT_HASH_HANDLE>(FHash));
}

void TSha256::Open() {
    BCRYPT_HASH_HANDLE h = nullptr;
    const TBCrypt& bcrypt = BCrypt();
    if (!bcrypt.Provider || bcrypt.Create(bcrypt.Provider, &h, nullptr, 0, nullptr, 0, 0) < 0)
        throw TError(L"The system's SHA-256 hash is not available.");
    FHash = h;
}

void TSha256::Update(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ULONG chunk = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
        if (BCrypt().HashData(static_cast<BCRYPT_HASH_HANDLE>(FHash), const_cast<PUCHAR>(p), chunk, 0) < 0)
            throw TError(L"The system's SHA-256 hash failed.");
        p += chunk;
        size -= chunk;
    }
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    const NTSTATUS status =
        BCrypt().Finish(static_cast<BCRYPT_HASH_HANDLE>(FHash), digest.data(), static_cast<ULONG>(digest.size()), 0);
    BCrypt().Destroy(static_cast<BCRYPT_HASH_HANDLE>(FHash));
    FHash = nullptr;
    if (status < 0) throw TError(L"The system's SHA-256 hash failed.");
    Open();
    return digest;
}

std::wstring TSha256::Hex(const TSha256Digest& digest) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(64);
    for (uint8_t b : digest) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool HashFile(const std::wstring& fileName, TSha256Digest& digest) {
    const THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    TSha256 hash;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        hash.Update(buffer.data(), read);
    }
    digest = hash.Final();
    return true;
}

}  // namespace sk
