// SHA-256 through the platform's CNG provider: backups are read back and compared with what was
// copied, and a downloaded list is compared with the installed one, by their hashes.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

namespace sk {

using TSha256Digest = std::array<uint8_t, 32>;

class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Update(const void* data, size_t size);
    // The digest of everything added; the object starts afresh afterwards.
    TSha256Digest Final();

    // Lowercase hexadecimal, 64 characters.
    static std::wstring Hex(const TSha256Digest& digest);

private:
    void Open();
    void* FHash = nullptr;  // BCRYPT_HASH_HANDLE
};

// The digest of a whole file; false when it cannot be read.
bool HashFile(const std::wstring& fileName, TSha256Digest& digest);

}  // namespace sk
