#include "plugins/PlugInRemoval.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/StringTable.h"

namespace sk {

bool TRecordedPlugInFiles::MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) {
    // Both ends: putting the point back restores the DLL where it was and takes it out of the backup.
    FPoint.CaptureFile(from);
    FPoint.CaptureFile(to);
    return FInner.MoveToBackup(from, to, error);
}

std::vector<std::wstring> PlugInCleanReport(const TIEPlugInCleaner& cleaner) {
    std::vector<std::wstring> lines = {Fmt(IDS_IEPLUGIN_CleanReport, cleaner.CleanedCount)};
    for (const TPlugInFileReport& report : cleaner.FileReports) lines.push_back(PlugInFileReportText(report));
    return lines;
}

std::vector<std::wstring> PlugInSelectionItems(TIEPlugInCleaner& cleaner, const TPlugInSelection& selection) {
    std::vector<std::wstring> items;
    const auto add = [&items](const std::wstring& text) {
        if (std::find(items.begin(), items.end(), text) == items.end()) items.push_back(text);
    };
    const bool anyCom = std::any_of(selection.begin(), selection.end(),
                                    [](const TPlugInSelectionEntry& e) { return e.Kind == TPlugInKind::ComAddOn; });
    const TPlugInInfoArray listed = anyCom ? cleaner.ListToolbarsAndBHOs() : TPlugInInfoArray();
    for (const TPlugInSelectionEntry& entry : selection) {
        if (entry.Kind == TPlugInKind::MenuExtension) {
            add(entry.Name);
            continue;
        }
        std::wstring name;
        for (const TIEPlugInInfo& record : listed) {
            if (entry.View && *entry.View != record.View) continue;
            if (::CompareStringOrdinal(entry.Name.data(), static_cast<int>(entry.Name.size()),
                                       record.BHOInfo.CLSID.data(), static_cast<int>(record.BHOInfo.CLSID.size()),
                                       TRUE) != CSTR_EQUAL)
                continue;
            name = record.Name;
            break;
        }
        add(IsBlankText(name) ? entry.Name : name);
    }
    return items;
}

TPlugInRemovalResult RemovePlugInsWithRestorePoint(TIEPlugInCleaner& cleaner, const TRestoreStore& store,
                                                   const TPlugInSelection& selection,
                                                   TIEPlugInCleanEvent onProgress) {
    TPlugInRemovalResult result;
    if (selection.empty()) {
        // Nothing to change, nothing to record: the clean only reports that nothing was removed.
        cleaner.Clean(selection, std::move(onProgress));
        result.Report = PlugInCleanReport(cleaner);
        return result;
    }
    // Read before the point: raises before anything is removed when the point cannot be made.
    const std::vector<std::wstring> items = PlugInSelectionItems(cleaner, selection);
    auto point = TRestorePoint::Begin(store, {kPlugInRemovalOperation, IDS_IEPLUGIN_Title, items}, cleaner.Registry());
    result.PointId = point->Id();
    const auto rows = [&cleaner] {
        std::vector<TRestoreRow> out;
        for (const std::wstring& line : PlugInCleanReport(cleaner)) out.push_back({line, L"", L""});
        return out;
    };
    TRecordedPlugInFiles files(cleaner.Files(), *point);
    try {
        cleaner.Clean(selection, std::move(onProgress), point->Registry(), files);
    } catch (...) {
        // What was removed before the error is recorded and can be put back; a point that cannot
        // be completed still reads as interrupted and puts back the same. The clean's error is the
        // one the user must see.
        try {
            point->Complete(rows());
        } catch (...) {
        }
        throw;
    }
    point->Complete(rows());
    result.Report = PlugInCleanReport(cleaner);
    return result;
}

}  // namespace sk
