#include "security/Sha256.h"

#include <bcrypt.h>

#include <string>

#include "base/Errors.h"
#include "base/Handles.h"

namespace sk {

namespace {

// One provider for the process, opened at first use and kept (the platform closes it at exit).
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        if (::BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) h = nullptr;
        return h;
    }();
    return provider;
}

}  // namespace

TSha256::TSha256() { Open(); }

TSha256::~TSha256() {
    if (FHash) ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(FHash));
}

void TSha256::Open() {
    BCRYPT_HASH_HANDLE h = nullptr;
    const BCRYPT_ALG_HANDLE provider = Provider();
    if (!provider || ::BCryptCreateHash(provider, &h, nullptr, 0, nullptr, 0, 0) < 0)
        throw TError(L"The system's SHA-256 hash is not available.");
    FHash = h;
}

void TSha256::Update(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ULONG chunk = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
        ::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(FHash), const_cast<PUCHAR>(p), chunk, 0);
        p += chunk;
        size -= chunk;
    }
}

TSha256Digest TSha256::Final() {
    TSha256Digest digest{};
    ::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(FHash), digest.data(), static_cast<ULONG>(digest.size()), 0);
    ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(FHash));
    FHash = nullptr;
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
