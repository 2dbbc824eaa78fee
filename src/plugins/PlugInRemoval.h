// A removal of add-ons as the program makes it, from the Plug-ins tab or the command line alike: a
// restore point first, then the clean with every registry change and every DLL move recorded in it,
// and the report the user is shown.
//
//     TPlugInRemovalResult done = RemovePlugInsWithRestorePoint(cleaner, ProgramRestoreStore(), selection,
//                                                               onProgress);
//     show(done.Report);
#pragma once

#include <string>
#include <vector>

#include "plugins/IEPlugInFuncs.h"
#include "plugins/PlugInFiles.h"
#include "registry/RestorePoint.h"
#include "registry/RestoreStore.h"

namespace sk {

inline constexpr const wchar_t* kPlugInRemovalOperation = L"plugin-removal";

// The files of inner, with every move into the backup captured at both ends in a restore point
// first (the DLL's bytes, and that nothing lies at its new name yet); a capture that fails raises
// its TError and the file does not move. inner and point are not owned.
class TRecordedPlugInFiles final : public TPlugInFiles {
public:
    TRecordedPlugInFiles(TPlugInFiles& inner, TRestorePoint& point) : FInner(inner), FPoint(point) {}

    std::wstring WindowsFolder() override { return FInner.WindowsFolder(); }
    std::wstring SystemFolderFor(TRegView view) override { return FInner.SystemFolderFor(view); }
    std::wstring SystemFolder() override { return FInner.SystemFolder(); }
    std::wstring FinalPath(const std::wstring& path) override { return FInner.FinalPath(path); }
    bool MoveToBackup(const std::wstring& from, const std::wstring& to, DWORD& error) override;

private:
    TPlugInFiles& FInner;
    TRestorePoint& FPoint;
};

// The report of the cleaner's last clean, one line each: how many add-ons it removed ("%d plugs-in
// are cleaned!"), then what became of each DLL, in order (PlugInFileReportText).
std::vector<std::wstring> PlugInCleanReport(const TIEPlugInCleaner& cleaner);

// The chosen add-ons as the user sees them: a context-menu extension by its name, a COM add-on by
// its display name as listed now (its CLSID when it has none, or is no longer listed); no text twice.
std::vector<std::wstring> PlugInSelectionItems(TIEPlugInCleaner& cleaner, const TPlugInSelection& selection);

struct TPlugInRemovalResult {
    std::wstring PointId;             // the restore point; "" when nothing was chosen (then none is made)
    std::vector<std::wstring> Report; // PlugInCleanReport of the clean
};

// Removes the chosen add-ons as TIEPlugInCleaner::Clean does, with a restore point of store made
// before the first change: operation "plugin-removal", titled as the Plug-ins tab, its items
// PlugInSelectionItems. Every registry change goes through the point's recording registry (on the
// cleaner's own registry), and every DLL is captured at both ends before it moves into the backup;
// the point is completed with the report's lines as its rows. The regedit file of the clean is the
// program's own record and is not part of the point.
// When the point cannot be made, TRestorePoint::Begin's TError ("... Nothing was changed") is
// raised before anything is removed, and onProgress is never called. An error of the clean (or of
// a capture, which then stops it) completes the point with the report so far and is raised again.
TPlugInRemovalResult RemovePlugInsWithRestorePoint(TIEPlugInCleaner& cleaner, const TRestoreStore& store,
                                                   const TPlugInSelection& selection,
                                                   TIEPlugInCleanEvent onProgress);

}  // namespace sk
