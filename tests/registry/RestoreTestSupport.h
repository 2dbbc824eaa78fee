// Helpers of the restore-point tests: a store in a scratch folder, exact dumps of keys (types and
// bytes, in enumeration order) on any backend, and reading a point's manifest from disk.
#pragma once

#include <doctest.h>

#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "TestSupport.h"
#include "registry/Restore.h"

namespace doctest {
template <>
struct StringMaker<sk::TStateDifference> {
    static String convert(const sk::TStateDifference& d) {
        std::string out = "{";
        out += sktest::Narrow(d.Where);
        out += " | ";
        out += sktest::Narrow(d.Recorded);
        out += " | ";
        out += sktest::Narrow(d.Present);
        out += "}";
        return String(out.c_str());
    }
};
template <>
struct StringMaker<std::vector<sk::TStateDifference>> {
    static String convert(const std::vector<sk::TStateDifference>& list) {
        String out = "[";
        for (const auto& d : list) out += StringMaker<sk::TStateDifference>::convert(d) + " ";
        return out + "]";
    }
};
}  // namespace doctest

namespace sktest {

// A backup folder of its own with the restore store in it.
struct TRestoreBench {
    TTempDir Dir;
    sk::TRestoreStore Store;

    explicit TRestoreBench(sk::TRestoreLimits limits = {}) : Store(Dir.Path() + L"backup\\", limits) {}
};

inline std::wstring HexLine(const sk::TRegValue& v) {
    std::wstring line = std::to_wstring(v.Type) + L":";
    for (uint8_t b : v.Data) line += L"0123456789ABCDEF"[b >> 4], line += L"0123456789ABCDEF"[b & 15];
    return line;
}

// Every key and value beneath key (the key included), one line each with type and bytes, in the
// backend's enumeration order; "(absent)" for a missing key.
inline std::vector<std::wstring> DumpKey(sk::TRegistryBackend& backend, const sk::TRegKeyPlace& key) {
    std::vector<std::wstring> lines;
    struct TWalk {
        static void Run(sk::TRegistryBackend& b, const sk::TRegKeyPlace& k, std::vector<std::wstring>& out) {
            const auto opened = b.OpenKey(k.Root, k.View, k.Path, false);
            if (!opened) {
                out.push_back(sk::DescribeRegKey(k) + L" (absent)");
                return;
            }
            out.push_back(sk::DescribeRegKey(k));
            for (const auto& name : opened->ValueNames())
                if (auto v = opened->QueryValue(name)) out.push_back(L"  [" + name + L"] " + HexLine(*v));
            for (const auto& sub : opened->SubkeyNames()) Run(b, {k.Root, k.View, sk::JoinRegPath(k.Path, sub)}, out);
        }
    };
    TWalk::Run(backend, key, lines);
    return lines;
}

inline std::string ManifestText(const sk::TRestoreStore& store, const std::wstring& id) {
    const auto bytes = ReadBytes(store.PointFolder(id) + sk::kRestoreManifestName);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace sktest
