#include "registry/Restore.h"

#include <algorithm>
#include <map>

#include "base/Errors.h"
#include "base/Format.h"
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

// A whole key as lines: the key itself and each key and value beneath it, by upper-case place.
struct TFlatLine {
    std::wstring Where;
    std::wstring Shows;
    bool IsKey;
};
using TFlatTree = std::map<std::wstring, TFlatLine>;

void Flatten(const TRegKeyPlace& key, const TRegTree& tree, TFlatTree& out) {
    out[Upper(key.Path) + L"\\"] = {DescribeRegKey(key), IDS_RESTORE_KeyPresent, true};
    for (const auto& [name, value] : tree.Values)
        out[Upper(key.Path) + L"\\[" + Upper(name)] = {DescribeRegValue(key, name), DescribeRegData(value), false};
    for (const auto& sub : tree.Subkeys) Flatten({key.Root, key.View, JoinRegPath(key.Path, sub.Name)}, sub.Tree, out);
}

std::wstring FileShows(const TEntryState& s) {
    return Fmt(IDS_RESTORE_FileState, static_cast<long long>(s.FileSize), FromUtf8(s.FileSha256.substr(0, 16)));
}

std::wstring Shows(const TRestoreEntry& entry, const TEntryState& s) {
    switch (entry.Kind) {
        case TRestoreEntryKind::Value:
            return s.Present ? DescribeRegData(s.Value) : IDS_RESTORE_Absent;
        case TRestoreEntryKind::Key:
            return s.Present ? IDS_RESTORE_KeyPresent : IDS_RESTORE_KeyAbsent;
        case TRestoreEntryKind::File:
            return s.Present ? FileShows(s) : IDS_RESTORE_FileAbsent;
        case TRestoreEntryKind::Setting:
            return s.Present ? L"\"" + s.Text + L"\"" : IDS_RESTORE_Absent;
    }
    return {};
}

void AddFailure(std::wstring& failures, const std::wstring& where) {
    if (!failures.empty()) failures += L", ";
    failures += where;
}

// Writes one entry's before-state back through point (whose registry records what it changes).
bool PutBack(const TRestoreEntry& entry, const std::wstring& sourceFolder, TRestorePoint& point) {
    TRegistryBackend& registry = point.Registry();
    const TEntryState& before = entry.Before;
    switch (entry.Kind) {
        case TRestoreEntryKind::Value: {
            if (before.Present) {
                const auto key = registry.OpenKey(entry.Key.Root, entry.Key.View, entry.Key.Path, true);
                return key && key->SetValue(entry.Name, before.Value);
            }
            const auto key = registry.OpenKey(entry.Key.Root, entry.Key.View, entry.Key.Path, false);
            return !key || !key->ValueExists(entry.Name) || key->DeleteValue(entry.Name);
        }
        case TRestoreEntryKind::Key:
            if (before.Present) return WriteRegTree(registry, entry.Key, before.Tree);
            return RemoveRegKey(registry, entry.Key);
        case TRestoreEntryKind::File: {
            point.CaptureFile(entry.Path);
            DWORD error = 0;
            if (!before.Present) return rf::RemoveFile(entry.Path, error);
            return rf::ReplaceWithCopy(entry.Path, sourceFolder + before.FileCopy, before.FileSha256,
                                       before.FileAttributes, error);
        }
        case TRestoreEntryKind::Setting: {
            point.CaptureSetting(entry.Path, entry.Section, entry.SettingKey);
            if (before.Present) {
                TProfileFile(entry.Path).WriteString(entry.Section, entry.SettingKey, before.Text);
                return true;
            }
            if (!::WritePrivateProfileStringW(entry.Section.c_str(), entry.SettingKey.c_str(), nullptr,
                                              entry.Path.c_str()))
                return false;
            // A section the operation made goes again once nothing is left in it.
            if (!entry.SectionHadKeys && !TProfileFile(entry.Path).SectionHasKey(entry.Section))
                return ::WritePrivateProfileStringW(entry.Section.c_str(), nullptr, nullptr, entry.Path.c_str()) != 0;
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<TStateDifference> DescribeDifferences(const TRestoreEntry& entry,
                                                  const TEntryState& recorded,
                                                  const TEntryState& present) {
    std::vector<TStateDifference> out;
    if (SameEntryState(entry, recorded, present)) return out;
    if (entry.Kind != TRestoreEntryKind::Key) {
        out.push_back({entry.Where(), Shows(entry, recorded), Shows(entry, present)});
        return out;
    }
    TFlatTree was, now;
    if (recorded.Present) Flatten(entry.Key, recorded.Tree, was);
    if (present.Present) Flatten(entry.Key, present.Tree, now);
    auto absent = [](const TFlatLine& line) { return line.IsKey ? IDS_RESTORE_KeyAbsent : IDS_RESTORE_Absent; };
    for (const auto& [id, line] : was) {
        const auto it = now.find(id);
        if (it == now.end())
            out.push_back({line.Where, line.Shows, absent(line)});
        else if (it->second.Shows != line.Shows || it->second.IsKey != line.IsKey)
            out.push_back({line.Where, line.Shows, it->second.Shows});
    }
    for (const auto& [id, line] : now)
        if (!was.count(id)) out.push_back({line.Where, absent(line), line.Shows});
    // Values whose bytes differ but show alike (a long binary value changed at its end).
    if (out.empty()) out.push_back({entry.Where(), IDS_RESTORE_KeyPresent, IDS_RESTORE_KeyChanged});
    return out;
}

TRestorePlan PlanRestore(const TRestoreStore& store, const std::wstring& id, TRegistryBackend& registry) {
    TRestorePlan plan;
    plan.Id = id;
    plan.Point = store.Load(id);
    plan.Interrupted = !plan.Point.Complete;
    // A point whose copies are gone cannot put its files back: better to say so before anything.
    const std::wstring folder = store.PointFolder(id);
    for (const auto& entry : plan.Point.Entries) {
        if (entry.Kind != TRestoreEntryKind::File || !entry.Before.Present) continue;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const bool there =
            ::GetFileAttributesExW((folder + entry.Before.FileCopy).c_str(), GetFileExInfoStandard, &data) &&
            ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) == entry.Before.FileSize;
        if (!there) throw TError(Fmt(IDS_RESTORE_ReadFailed, id, Fmt(IDS_RESTORE_CopyMissing, entry.Path)));
    }
    for (const auto& entry : plan.Point.Entries) {
        const TEntryState present = ReadEntryState(entry, registry);
        if (entry.After)
            for (auto& d : DescribeDifferences(entry, *entry.After, present)) plan.ChangedSince.push_back(std::move(d));
        for (auto& d : DescribeDifferences(entry, entry.Before, present)) plan.Changes.push_back(std::move(d));
    }
    return plan;
}

TRestoreResult RunRestore(const TRestoreStore& store,
                          const TRestorePlan& plan,
                          bool overwriteChanged,
                          TRegistryBackend& registry) {
    // The user decided on what the plan showed; the registry and files may have moved on since.
    const TRestorePlan now = PlanRestore(store, plan.Id, registry);
    if (!now.ChangedSince.empty() && !overwriteChanged)
        throw TError(Fmt(IDS_RESTORE_ChangedSince, static_cast<long long>(now.ChangedSince.size())));
    for (const auto& d : now.ChangedSince)
        if (std::find(plan.ChangedSince.begin(), plan.ChangedSince.end(), d) == plan.ChangedSince.end())
            throw TError(IDS_RESTORE_ChangedAgain);

    const TRestoreManifest& source = now.Point;
    auto point = TRestorePoint::Begin(
        store, {L"restore", Fmt(IDS_RESTORE_OperationTitle, source.Title), source.Items, source.Id}, registry);
    const std::wstring sourceFolder = store.PointFolder(source.Id);
    TRestoreResult result;
    result.PointId = point->Id();
    std::wstring failures;
    for (auto it = source.Entries.rbegin(); it != source.Entries.rend(); ++it) {
        const TRestoreEntry& entry = *it;
        const TEntryState present = ReadEntryState(entry, registry);
        if (SameEntryState(entry, entry.Before, present)) continue;
        const auto differences = DescribeDifferences(entry, entry.Before, present);
        bool done = false;
        try {
            done = PutBack(entry, sourceFolder, *point);
        } catch (const TWriteError&) {
            done = false;  // a settings file that cannot be written: the others still go back
        }
        if (!done) AddFailure(failures, entry.Where());
        for (const auto& d : differences) result.Rows.push_back({d.Where, d.Present, d.Recorded});
    }
    point->Complete(result.Rows);
    if (!failures.empty()) throw TError(Fmt(IDS_RESTORE_PutBackFailed, failures));
    return result;
}

}  // namespace sk
