#include "registry/RestoreStore.h"

#include <algorithm>
#include <stdexcept>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "registry/RestoreFiles.h"

namespace sk {

namespace rf = restorefiles;

namespace {

constexpr size_t kStampLength = 19;  // "20260314-153012-045"

// A point's id is a plain folder name: its time stamp, "-", its operation.
bool IsPointId(const std::wstring& id) {
    if (id.size() < kStampLength + 2 || id[kStampLength] != L'-') return false;
    if (!ParseSortableStamp(id.substr(0, kStampLength))) return false;
    return id.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos && id.find(L"..") == std::wstring::npos;
}

std::wstring OperationName(const std::wstring& operation) {
    std::wstring name;
    for (wchar_t c : operation) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9');
        if (plain)
            name += c;
        else if (!name.empty() && name.back() != L'-')
            name += L'-';
    }
    while (!name.empty() && name.back() == L'-') name.pop_back();
    if (name.size() > 40) name.resize(40);
    return name.empty() ? L"operation" : name;
}

uint64_t Ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
FILETIME FromTicks(uint64_t ticks) {
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}
constexpr uint64_t kTicksPerMs = 10000;

// Whether another process holds the point's lock now.
bool LockHeld(const std::wstring& folder) {
    const std::wstring lock = folder + kRestoreLockName;
    if (::GetFileAttributesW(lock.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    THandle probe(::CreateFileW(lock.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

}  // namespace

TRestoreLimits ReadRestoreLimits(const std::wstring& settingsFile) {
    TRestoreLimits limits;
    const TProfileFile settings(settingsFile);
    const int points = settings.ReadInteger(kSettingsSection, kRestorePointsMaxKey, limits.MaxPoints);
    const int megabytes = settings.ReadInteger(kSettingsSection, kRestorePointsMaxMBKey, 200);
    if (points >= 1) limits.MaxPoints = points;
    if (megabytes >= 1) limits.MaxBytes = static_cast<uint64_t>(megabytes) * 1024 * 1024;
    return limits;
}

const std::wstring& RestoreStateText(TRestoreState state) {
    switch (state) {
        case TRestoreState::Complete:
            return IDS_RESTORE_StateComplete;
        case TRestoreState::Interrupted:
            return IDS_RESTORE_StateInterrupted;
        case TRestoreState::InProgress:
            return IDS_RESTORE_StateInProgress;
        case TRestoreState::Damaged:
            break;
    }
    return IDS_RESTORE_StateDamaged;
}

TRestoreStore::TRestoreStore(const std::wstring& backupFolder, TRestoreLimits limits)
    : FFolder(WithTrailingBackslash(backupFolder) + L"restore\\"), FLimits(limits) {}

std::wstring TRestoreStore::PointFolder(const std::wstring& id) const { return FFolder + id + L"\\"; }

std::vector<std::wstring> TRestoreStore::PointIds() const {
    std::vector<std::wstring> ids;
    WIN32_FIND_DATAW fd;
    TFindHandle find(::FindFirstFileW((FFolder + L"*").c_str(), &fd));
    if (!find) return ids;
    do {
        const std::wstring name = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPointId(name)) ids.push_back(name);
    } while (::FindNextFileW(find.Get(), &fd));
    std::sort(ids.begin(), ids.end(), std::greater<>());
    return ids;
}

TRestoreState TRestoreStore::StateOf(const std::wstring& id) const {
    if (!IsPointId(id) || !DirectoryExists(PointFolder(id))) return TRestoreState::Damaged;
    if (LockHeld(PointFolder(id))) return TRestoreState::InProgress;
    const auto text = rf::ReadWhole(PointFolder(id) + kRestoreManifestName);
    if (!text) return TRestoreState::Damaged;
    try {
        return ManifestFromJson(*text).Complete ? TRestoreState::Complete : TRestoreState::Interrupted;
    } catch (const std::exception&) {
        return TRestoreState::Damaged;
    }
}

std::vector<TRestorePointInfo> TRestoreStore::List() const {
    std::vector<TRestorePointInfo> list;
    for (const auto& id : PointIds()) {
        TRestorePointInfo info;
        info.Id = id;
        const std::wstring folder = PointFolder(id);
        info.Bytes = rf::FolderBytes(folder);
        if (const auto stamp = ParseSortableStamp(id.substr(0, kStampLength))) info.Started = *stamp;
        info.Operation = id.substr(kStampLength + 1);
        const bool held = LockHeld(folder);
        const auto text = rf::ReadWhole(folder + kRestoreManifestName);
        try {
            if (!text) throw std::runtime_error(ToUtf8(IDS_RESTORE_NoManifest));
            const TRestoreManifest m = ManifestFromJson(*text);
            info.State =
                held ? TRestoreState::InProgress : (m.Complete ? TRestoreState::Complete : TRestoreState::Interrupted);
            info.Operation = m.Operation;
            info.Title = m.Title;
            info.Items = m.Items;
            info.Rows = m.Rows;
            info.Restores = m.Restores;
            info.Started = m.Started;
        } catch (const std::exception& e) {
            // A point whose manifest is being replaced this instant reads as in progress.
            info.State = held ? TRestoreState::InProgress : TRestoreState::Damaged;
            info.Problem = FromUtf8(e.what());
        }
        list.push_back(std::move(info));
    }
    return list;
}

std::optional<std::wstring> TRestoreStore::LastId() const {
    for (const auto& id : PointIds()) {
        const TRestoreState state = StateOf(id);
        if (state == TRestoreState::Complete || state == TRestoreState::Interrupted) return id;
    }
    return std::nullopt;
}

TRestoreManifest TRestoreStore::Load(const std::wstring& id) const {
    if (!IsPointId(id) || !DirectoryExists(PointFolder(id))) throw TError(Fmt(IDS_RESTORE_NotFound, id));
    if (LockHeld(PointFolder(id))) throw TError(Fmt(IDS_RESTORE_InProgress, id));
    const auto text = rf::ReadWhole(PointFolder(id) + kRestoreManifestName);
    if (!text) throw TError(Fmt(IDS_RESTORE_ReadFailed, id, IDS_RESTORE_NoManifest));
    try {
        TRestoreManifest m = ManifestFromJson(*text);
        if (m.Id != id) throw std::runtime_error(ToUtf8(Fmt(IDS_RESTORE_WrongId, m.Id)));
        return m;
    } catch (const std::exception& e) {
        throw TError(Fmt(IDS_RESTORE_ReadFailed, id, FromUtf8(e.what())));
    }
}

std::wstring TRestoreStore::CreatePoint(const std::wstring& operation) const {
    if (!rf::MakeFolders(FFolder))
        throw TError(Fmt(IDS_RESTORE_BeginFailed, FFolder, rf::SystemMessage(::GetLastError())));
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    uint64_t ticks = Ticks(now) / kTicksPerMs * kTicksPerMs;
    // After the newest point, whatever the clock says, so that names sort as the points were made.
    const auto ids = PointIds();
    if (!ids.empty())
        if (const auto newest = ParseSortableStamp(ids.front().substr(0, kStampLength)))
            ticks = std::max(ticks, Ticks(*newest) + kTicksPerMs);
    const std::wstring name = OperationName(operation);
    for (int attempt = 0; attempt < 10000; ++attempt, ticks += kTicksPerMs) {
        const std::wstring id = SortableStamp(FromTicks(ticks)) + L"-" + name;
        if (::CreateDirectoryW((FFolder + id).c_str(), nullptr)) return id;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            throw TError(Fmt(IDS_RESTORE_BeginFailed, FFolder, rf::SystemMessage(error)));
    }
    throw TError(Fmt(IDS_RESTORE_BeginFailed, FFolder, rf::SystemMessage(ERROR_ALREADY_EXISTS)));
}

void TRestoreStore::Prune(const std::wstring& keep) const {
    struct TPoint {
        std::wstring Id;
        uint64_t Bytes;
    };
    std::vector<TPoint> points;  // oldest first
    const auto ids = PointIds();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) points.push_back({*it, rf::FolderBytes(PointFolder(*it))});
    size_t count = points.size();
    uint64_t bytes = 0;
    for (const auto& p : points) bytes += p.Bytes;
    for (const auto& p : points) {
        if (count <= static_cast<size_t>(std::max(FLimits.MaxPoints, 1)) && bytes <= FLimits.MaxBytes) break;
        if (p.Id == keep || LockHeld(PointFolder(p.Id))) continue;
        rf::RemoveTree(PointFolder(p.Id));
        if (DirectoryExists(PointFolder(p.Id))) continue;  // something in it stayed; counted as kept
        --count;
        bytes -= p.Bytes;
    }
}

TRestoreStore ProgramRestoreStore() {
    const std::wstring program = ProgramFolder.empty() ? FileFolderOf(ExecutablePath()) : ProgramFolder;
    return TRestoreStore(program + L"backup\\", ReadRestoreLimits(ConfigFileName));
}

}  // namespace sk
