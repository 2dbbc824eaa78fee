#include "registry/RestorePoint.h"

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/StringTable.h"
#include "registry/RestoreFiles.h"

namespace sk {

namespace rf = restorefiles;

namespace {

std::wstring Upper(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return path;
    full.resize(got);
    return full;
}

FILETIME Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return now;
}

// A setting's text, or std::nullopt when the key is absent.
std::optional<std::wstring> ReadSetting(const std::wstring& file,
                                        const std::wstring& section,
                                        const std::wstring& key) {
    static const std::wstring absent = L"\x01surfkeep-no-setting\x01";
    const std::wstring text = TProfileFile(file).ReadString(section, key, absent);
    if (text == absent) return std::nullopt;
    return text;
}

// "files\3-hosts": the copy's place in the point's folder; the name helps a person find it.
std::wstring CopyName(int number, const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (name.size() > 64) name.resize(64);
    return L"files\\" + std::to_wstring(number) + L"-" + name;
}

}  // namespace

TEntryState ReadEntryState(const TRestoreEntry& entry, TRegistryBackend& registry) {
    TEntryState state;
    switch (entry.Kind) {
        case TRestoreEntryKind::Value: {
            const auto key = registry.OpenKey(entry.Key.Root, entry.Key.View, entry.Key.Path, false);
            if (!key) {
                if (RegKeyExists(registry, entry.Key))
                    throw TError(Fmt(IDS_RESTORE_KeyUnreadable, DescribeRegKey(entry.Key)));
                break;
            }
            if (auto value = key->QueryValue(entry.Name)) {
                state.Present = true;
                state.Value = std::move(*value);
            }
            break;
        }
        case TRestoreEntryKind::Key:
            if (auto tree = ReadRegTree(registry, entry.Key)) {
                state.Present = true;
                state.Tree = std::move(*tree);
            }
            break;
        case TRestoreEntryKind::File: {
            DWORD error = 0;
            const auto digest = rf::DigestFile(entry.Path, error);
            if (error) throw TError(Fmt(IDS_RESTORE_FileUnreadable, entry.Path, rf::SystemMessage(error)));
            if (digest) {
                state.Present = true;
                state.FileSize = digest->Size;
                state.FileSha256 = digest->Sha256;
                state.FileAttributes = digest->Attributes;
            }
            break;
        }
        case TRestoreEntryKind::Setting:
            if (auto text = ReadSetting(entry.Path, entry.Section, entry.SettingKey)) {
                state.Present = true;
                state.Text = std::move(*text);
            }
            break;
    }
    return state;
}

bool SameEntryState(const TRestoreEntry& entry, const TEntryState& a, const TEntryState& b) {
    if (a.Present != b.Present) return false;
    if (!a.Present) return true;
    switch (entry.Kind) {
        case TRestoreEntryKind::Value:
            return a.Value == b.Value;
        case TRestoreEntryKind::Key:
            return SameRegTree(a.Tree, b.Tree);
        case TRestoreEntryKind::File:
            return a.FileSize == b.FileSize && a.FileSha256 == b.FileSha256;
        case TRestoreEntryKind::Setting:
            return a.Text == b.Text;
    }
    return false;
}

TRestorePoint::TRestorePoint(const TRestoreStore& store, TRegistryBackend& registry)
    : FStore(store), FRegistry(registry), FRecording(registry, *this) {}

TRestorePoint::~TRestorePoint() = default;

std::unique_ptr<TRestorePoint> TRestorePoint::Begin(const TRestoreStore& store,
                                                    const TRestoreOperation& operation,
                                                    TRegistryBackend& registry) {
    std::unique_ptr<TRestorePoint> point(new TRestorePoint(store, registry));
    const std::wstring id = store.CreatePoint(operation.Operation);
    point->FFolder = store.PointFolder(id);
    auto fail = [&](DWORD error) {
        point->FLock.Reset();
        rf::RemoveTree(point->FFolder);
        throw TError(Fmt(IDS_RESTORE_BeginFailed, store.Folder(), rf::SystemMessage(error)));
    };
    // The lock goes when this process does, however it ends: a point without it and without
    // "complete" was interrupted.
    point->FLock.Reset(::CreateFileW((point->FFolder + kRestoreLockName).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!point->FLock) fail(::GetLastError());
    TRestoreManifest& m = point->FManifest;
    m.Id = id;
    m.Operation = operation.Operation;
    m.Title = operation.Title;
    m.Items = operation.Items;
    m.Restores = operation.Restores;
    m.Started = Now();
    DWORD error = 0;
    if (!point->WriteManifest(error)) fail(error);
    return point;
}

bool TRestorePoint::WriteManifest(DWORD& error) const {
    return rf::ReplaceWithBytes(FFolder + kRestoreManifestName, ManifestToJson(FManifest), error);
}

void TRestorePoint::RaiseRecordFailed(const std::wstring& what, const std::wstring& why) const {
    throw TError(Fmt(IDS_RESTORE_RecordFailed, what, why));
}

void TRestorePoint::Append(TRestoreEntry entry) {
    if (FManifest.Complete) throw TError(Fmt(IDS_RESTORE_RecordFailed, entry.Where(), IDS_RESTORE_AlreadyComplete));
    FManifest.Entries.push_back(std::move(entry));
    DWORD error = 0;
    if (!WriteManifest(error)) {
        const std::wstring what = FManifest.Entries.back().Where();
        FManifest.Entries.pop_back();
        RaiseRecordFailed(what, rf::SystemMessage(error));
    }
}

bool TRestorePoint::KeyCovered(const TRegKeyPlace& key) const {
    // The key itself or any key above it (the root included) recorded whole.
    const int root = static_cast<int>(key.Root), view = static_cast<int>(key.View);
    const std::wstring path = Upper(NormalizeRegPath(key.Path));
    if (FKeys.count({root, view, path})) return true;
    for (size_t cut = path.find(L'\\'); cut != std::wstring::npos; cut = path.find(L'\\', cut + 1))
        if (FKeys.count({root, view, path.substr(0, cut)})) return true;
    return !path.empty() && FKeys.count({root, view, std::wstring()}) > 0;
}

void TRestorePoint::CaptureValue(const TRegKeyPlace& key, const std::wstring& name) {
    const TRegKeyPlace place{key.Root, key.View, NormalizeRegPath(key.Path)};
    const TValueId id{static_cast<int>(place.Root), static_cast<int>(place.View), Upper(place.Path), Upper(name)};
    if (FValues.count(id) || KeyCovered(place)) return;
    TRestoreEntry entry;
    entry.Kind = TRestoreEntryKind::Value;
    entry.Key = place;
    entry.Name = name;
    entry.Before = ReadEntryState(entry, FRegistry);
    Append(std::move(entry));
    FValues.insert(id);
}

void TRestorePoint::CaptureKey(const TRegKeyPlace& key) {
    const TRegKeyPlace place{key.Root, key.View, NormalizeRegPath(key.Path)};
    if (KeyCovered(place)) return;
    TRestoreEntry entry;
    entry.Kind = TRestoreEntryKind::Key;
    entry.Key = place;
    entry.Before = ReadEntryState(entry, FRegistry);
    Append(std::move(entry));
    FKeys.insert({static_cast<int>(place.Root), static_cast<int>(place.View), Upper(place.Path)});
}

void TRestorePoint::CaptureFile(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    const std::wstring id = Upper(full);
    if (FFiles.count(id)) return;
    TRestoreEntry entry;
    entry.Kind = TRestoreEntryKind::File;
    entry.Path = full;
    DWORD error = 0;
    const auto present = rf::DigestFile(full, error);
    if (error) RaiseRecordFailed(full, rf::SystemMessage(error));
    if (present) {
        const std::wstring copy = CopyName(++FFileCount, full);
        rf::MakeFolders(FFolder + L"files");
        const auto copied = rf::CopyFlushed(full, FFolder + copy, error);
        if (!copied) RaiseRecordFailed(full, rf::SystemMessage(error));
        entry.Before.Present = true;
        entry.Before.FileCopy = copy;
        entry.Before.FileSize = copied->Size;
        entry.Before.FileSha256 = copied->Sha256;
        entry.Before.FileAttributes = copied->Attributes;
    }
    Append(std::move(entry));
    FFiles.insert(id);
}

void TRestorePoint::CaptureSetting(const std::wstring& file, const std::wstring& section, const std::wstring& key) {
    const std::wstring full = FullPath(file);
    const auto id = std::make_tuple(Upper(full), Upper(section), Upper(key));
    if (FSettings.count(id)) return;
    TRestoreEntry entry;
    entry.Kind = TRestoreEntryKind::Setting;
    entry.Path = full;
    entry.Section = section;
    entry.SettingKey = key;
    entry.SectionHadKeys = FileExists(full) && TProfileFile(full).SectionHasKey(section);
    entry.Before = ReadEntryState(entry, FRegistry);
    Append(std::move(entry));
    FSettings.insert(id);
}

void TRestorePoint::Complete(const std::vector<TRestoreRow>& rows) {
    if (FManifest.Complete) return;
    TRestoreManifest done = FManifest;
    done.Rows = rows;
    for (auto& entry : done.Entries) entry.After = ReadEntryState(entry, FRegistry);
    done.Completed = Now();
    done.Complete = true;
    std::swap(FManifest, done);
    DWORD error = 0;
    if (!WriteManifest(error)) {
        std::swap(FManifest, done);
        throw TError(Fmt(IDS_RESTORE_SaveFailed, FManifest.Id, rf::SystemMessage(error)));
    }
    FLock.Reset();
    FStore.Prune(FManifest.Id);
}

}  // namespace sk
