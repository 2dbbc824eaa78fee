#include "app/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <exception>
#include <functional>
#include <new>
#include <optional>

#include "app/Application.h"
#include "app/CommandLineArgs.h"
#include "app/ConsoleOutput.h"
#include "app/FormRestorePoints.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/Handles.h"
#include "base/MessagePump.h"
#include "base/Paths.h"
#include "base/ProfileFile.h"
#include "base/Settings.h"
#include "base/StringTable.h"
#include "clean/IECleaner.h"
#include "clean/ui/CleanTab.h"
#include "plugins/IEPlugInFuncs.h"
#include "plugins/PlugInRemoval.h"
#include "registry/Restore.h"
#include "repair/IERepairFuncs.h"
#include "repair/RepairRun.h"
#include "security/HostsListUpdate.h"
#include "security/IESecurityFuncs.h"
#include "security/ShieldChange.h"
#include "security/ui/SecurityTab.h"

namespace sk {

namespace {

using TJson = nlohmann::ordered_json;

std::string U8(const std::wstring& text) { return Utf8Of(text); }

// The system's words for an error code, without the line break it ends in.
std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : L"";
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text.empty() ? Fmt(L"%d", static_cast<long long>(code)) : text;
}

TJson TextOrNull(const std::wstring& text) { return text.empty() ? TJson(nullptr) : TJson(U8(text)); }

const wchar_t* CommandName(TCliCommand command) {
    switch (command) {
        case TCliCommand::Scan: return L"scan";
        case TCliCommand::Repair: return L"repair";
        case TCliCommand::Clean: return L"clean";
        case TCliCommand::PlugIns: return L"plugins";
        case TCliCommand::Remove: return L"remove";
        case TCliCommand::Shield: return L"shield";
        case TCliCommand::Restore: return L"restore";
        case TCliCommand::Help: return L"help";
        case TCliCommand::Window: break;
    }
    return L"";
}

const wchar_t* CategoryWord(int category) {
    switch (category) {
        case IECleanTempFiles: return L"temp";
        case IECleanCookies: return L"cookies";
        case IECleanTypedUrls: return L"addresses";
        default: return L"history";
    }
}

const std::wstring& CategoryText(int category) {
    switch (category) {
        case IECleanTempFiles: return IDS_IECLEAN_IETempFiles;
        case IECleanCookies: return IDS_IECLEAN_IECookies;
        case IECleanTypedUrls: return IDS_IECLEAN_IEAddress;
        default: return IDS_IECLEAN_IEHistory;
    }
}

const wchar_t* StateWord(TRestoreState state) {
    switch (state) {
        case TRestoreState::Complete: return L"complete";
        case TRestoreState::Interrupted: return L"interrupted";
        case TRestoreState::InProgress: return L"inProgress";
        case TRestoreState::Damaged: break;
    }
    return L"damaged";
}

const wchar_t* LevelWord(TRepairLevel level) {
    switch (level) {
        case TRepairLevel::RestartIE: return L"restartBrowser";
        case TRepairLevel::LogOff: return L"logOff";
        case TRepairLevel::None: break;
    }
    return L"none";
}

// One add-on as the command line lists it.
struct TListedPlugIn {
    TPlugInRef Ref;
    std::wstring Id;
    const wchar_t* Kind = L"";  // JSON: "menuExtension", "toolbar", "browserHelperObject"
    const std::wstring* KindText = nullptr;
    std::wstring Name;          // the display name ("" when the class has none)
    std::wstring File;          // COM add-ons: the registered DLL
    std::wstring Listed;        // COM add-ons: the CLSID as listed
};

std::vector<TListedPlugIn> ListPlugIns(TIEPlugInCleaner& cleaner) {
    std::vector<TListedPlugIn> list;
    for (const std::wstring& name : cleaner.ListMenuExtensions()) {
        TListedPlugIn& p = list.emplace_back();
        p.Ref = {TPlugInKind::MenuExtension, std::nullopt, name};
        p.Id = PlugInId(p.Ref);
        p.Kind = L"menuExtension";
        p.KindText = &IDS_COMMANDLINE_KindMenuExtension;
        p.Name = name;
    }
    for (const TIEPlugInInfo& record : cleaner.ListToolbarsAndBHOs()) {
        const bool toolbar = record.Source == TPlugInSource::Toolbar;
        TListedPlugIn& p = list.emplace_back();
        p.Ref = {TPlugInKind::ComAddOn, record.View, record.BHOInfo.CLSID};
        p.Id = PlugInId(p.Ref);
        p.Kind = toolbar ? L"toolbar" : L"browserHelperObject";
        p.KindText = toolbar ? &IDS_COMMANDLINE_KindToolbar : &IDS_COMMANDLINE_KindHelperObject;
        p.Name = record.Name;
        p.File = record.BHOInfo.FileName;
        p.Listed = record.BHOInfo.CLSID;
    }
    return list;
}

TJson PlugInJson(const TListedPlugIn& p) {
    TJson j;
    j["id"] = U8(p.Id);
    j["kind"] = U8(p.Kind);
    j["name"] = U8(p.Name);
    j["view"] = p.Ref.View ? TJson(U8(RegViewName(*p.Ref.View))) : TJson(nullptr);
    j["file"] = p.Ref.Kind == TPlugInKind::ComAddOn ? TJson(U8(p.File)) : TJson(nullptr);
    if (p.Ref.Kind == TPlugInKind::ComAddOn) j["clsid"] = U8(p.Listed);
    return j;
}

// A repair item and what its check found: "state" is "inOrder", "needsRepair", "notCheckable"
// (something could not be read) or "notScanned" (the item has no check; it is repaired on request).
TJson ItemJson(const TRepairItem& item, const TRepairCheck& check) {
    TJson j;
    j["index"] = item.Index;
    j["text"] = U8(*item.Text);
    j["needsRepair"] = check.State == TRepairState::NeedsRepair;
    j["state"] = !item.Scanned                                  ? "notScanned"
                 : check.State == TRepairState::NeedsRepair   ? "needsRepair"
                 : check.State == TRepairState::NotCheckable ? "notCheckable"
                                                               : "inOrder";
    return j;
}

TJson RowJson(const std::wstring& label, const std::wstring& before, const std::wstring& after) {
    TJson j;
    j["label"] = U8(label);
    j["before"] = U8(before);
    j["after"] = U8(after);
    return j;
}

std::wstring TitleOf(const TRestoreManifest& point) { return point.Title.empty() ? point.Operation : point.Title; }

// Why a change command may not run now: the window is open, or another change is running.
class TInstanceLock {
public:
    // Takes the program's instance mutex; false (and nothing held) when it is taken already.
    bool Acquire() {
        // The second mutex comes first: a window started while this one holds the program finds it
        // and says why it does not open.
        FCommandLine.Reset(::CreateMutexW(nullptr, FALSE, CommandLineMutexName().c_str()));
        FMutex.Reset(::CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str()));
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            FMutex.Reset();
            FCommandLine.Reset();
            return false;
        }
        // Another failure to make it leaves the command unguarded, as the window is then.
        return true;
    }

private:
    THandle FCommandLine;
    THandle FMutex;
};

class TCommandLineRun {
public:
    TCommandLineRun(TConsoleOutput& console, const TCliRequest& request)
        : FConsole(console), FRequest(request), FJsonToStdout(request.JsonFile && *request.JsonFile == L"-") {
        FJson["command"] = U8(CommandName(request.Command));
    }

    int Run();
    // Writes the JSON report, when one was asked for; false (and said why) when it could not.
    bool WriteJson(int exitCode);

    // A line for people on standard output (left out when the JSON goes there).
    void Say(const std::wstring& text) {
        if (!FJsonToStdout) FConsole.Out().Write(text + L"\n");
    }
    // A failure: on standard error, and in the report's "errors".
    void Problem(const std::wstring& text) {
        // A text of several lines (a list) ends as it is; a sentence gets its full stop.
        FConsole.Err().Write((text.find(L'\n') == std::wstring::npos ? ErrorBoxText(text) : text) + L"\n");
        FErrors.push_back(text);
    }
    bool HadProblems() const { return !FErrors.empty(); }
    TJson& Json() { return FJson; }

private:
    int Scan();
    int Repair();
    int Clean();
    int ListPlugIns();
    int Remove();
    int Shield();
    int Restore();
    int RestoreList();
    int RestorePoint();

    // Runs one part of a command: its TError is reported and the command goes on with the next part.
    bool Part(const std::function<void()>& part) {
        try {
            part();
            return true;
        } catch (const TError& e) {
            Problem(e.Message());
        }
        return false;
    }
    void ReportShield(TIESecurity& security);
    void SayRows(const std::vector<TRestoreRow>& rows);
    void SayPlugIns(const std::vector<TListedPlugIn>& list);
    void SayRestorePoint(const std::wstring& id) {
        if (id.empty()) return;
        FJson["restorePoint"] = U8(id);
        Say(Fmt(IDS_COMMANDLINE_RestorePoint, id));
    }

    TConsoleOutput& FConsole;
    const TCliRequest& FRequest;
    bool FJsonToStdout;
    TJson FJson;
    std::vector<std::wstring> FErrors;
};

int TCommandLineRun::Run() {
    switch (FRequest.Command) {
        case TCliCommand::Scan: return Scan();
        case TCliCommand::Repair: return Repair();
        case TCliCommand::Clean: return Clean();
        case TCliCommand::PlugIns: return ListPlugIns();
        case TCliCommand::Remove: return Remove();
        case TCliCommand::Shield: return Shield();
        case TCliCommand::Restore: return Restore();
        default: break;
    }
    return kExitDone;
}

// ---- /scan ----

int TCommandLineRun::Scan() {
    int needing = 0;
    TJson items = TJson::array();
    Say(IDS_COMMANDLINE_RepairHeading);
    const std::vector<TRepairCheck> checks = CheckAllItems();
    for (const TRepairItem& item : RepairItems()) {
        const TRepairCheck& check = checks.at(static_cast<size_t>(item.Index));
        const bool needs = check.State == TRepairState::NeedsRepair;
        if (needs) ++needing;
        items.push_back(ItemJson(item, check));
        // The numbers right-aligned, so that the texts start in one column.
        Say(Fmt(IDS_COMMANDLINE_ItemLine, (item.Index < 10 ? L" " : L"") + std::to_wstring(item.Index),
                RepairLineText(item, check)));
    }
    FJson["items"] = std::move(items);
    // What could not be read, one line each: such an item is not known to be in order.
    for (const TRepairItem& item : RepairItems())
        for (const std::wstring& reason : checks.at(static_cast<size_t>(item.Index)).Unreadable)
            Problem(Fmt(IDS_COMMANDLINE_NotCheckable, item.Index, *item.Text, reason));

    Part([this] {
        TIEPlugInCleaner cleaner;
        const std::vector<TListedPlugIn> list = sk::ListPlugIns(cleaner);
        SayPlugIns(list);
    });
    Part([this] {
        TIESecurityOptions options;
        options.Pump = &NullMessagePump();
        TIESecurity security(options);
        ReportShield(security);
    });

    if (needing > 0)
        Say(Fmt(IDS_COMMANDLINE_ScanNeedsRepair, needing));
    else if (!HadProblems())
        Say(IDS_COMMANDLINE_ScanInOrder);
    // A scan that could not read everything has not shown the machine in order, and /repair is
    // not what mends an unreadable value: the error is the one to act on.
    if (HadProblems()) return kExitError;
    return needing > 0 ? kExitNeedsRepair : kExitDone;
}

// ---- /repair ----

int TCommandLineRun::Repair() {
    std::vector<int> indices = FRequest.Items;
    if (FRequest.AllItems) {
        // What the window ticks after a scan: the items that need repair.
        const std::vector<TRepairCheck> checks = CheckAllItems();
        for (const TRepairItem& item : RepairItems()) {
            const TRepairCheck& check = checks.at(static_cast<size_t>(item.Index));
            if (check.State == TRepairState::NeedsRepair) indices.push_back(item.Index);
            for (const std::wstring& reason : check.Unreadable)
                Problem(Fmt(IDS_COMMANDLINE_NotCheckable, item.Index, *item.Text, reason));
        }
    }
    FJson["items"] = TJson::array();
    FJson["rows"] = TJson::array();
    if (indices.empty()) {
        if (!HadProblems()) Say(IDS_COMMANDLINE_NothingToRepair);
        return HadProblems() ? kExitError : kExitDone;
    }

    // A point that cannot be made raises here, before anything is repaired.
    const TRepairRunResult run = RunRepair(ProgramRestoreStore(), indices);
    SayRestorePoint(run.PointId);
    for (const TRepairRow& row : run.Rows) {
        TJson j = RowJson(row.Label, row.Before, row.After);
        j["failed"] = row.Failed;
        FJson["rows"].push_back(std::move(j));
        Say(Fmt(IDS_COMMANDLINE_Row, TrimmedText(row.Label), row.Before, row.After));
    }
    FJson["restart"] = U8(LevelWord(run.Level));
    for (const TRepairRow& row : run.Rows)
        if (row.Failed) Problem(Fmt(L"%s: %s", TrimmedText(row.Label), row.After));
    if (!run.Problem.empty()) Problem(run.Problem);

    // The repair is checked, not assumed: an item that a policy puts back at once still needs it.
    // The items repaired, as the check after the repair finds them.
    const std::vector<TRepairCheck> after = CheckAllItems();
    for (int index : indices) {
        const TRepairItem& item = RepairItemAt(index);
        const bool needs = after.at(static_cast<size_t>(index)).State == TRepairState::NeedsRepair;
        FJson["items"].push_back(ItemJson(item, after.at(static_cast<size_t>(index))));
        if (needs) Problem(Fmt(IDS_COMMANDLINE_StillNeedsRepair, index, *item.Text));
    }

    const std::wstring closing = RepairClosingText(run.Level, FailedRowCount(run.Rows));
    if (!closing.empty()) Say(closing);
    return HadProblems() ? kExitError : kExitDone;
}

// ---- /clean ----

int TCommandLineRun::Clean() {
    // Nothing waits for the cleaner's messages here: no window, and no Stop to press.
    TIECleanerPlatform platform;
    platform.Pump = &NullMessagePump();
    TIECleaner cleaner(platform);
    FJson["cleaned"] = TJson::array();
    for (int category : FRequest.Categories) {
        // One category at a time, so that each has its counts; a refused folder is reported and
        // the others are still cleaned.
        Part([&] {
            try {
                cleaner.Clean(TIECleanCategories{category}, [](const std::wstring&, uint64_t, int32_t) {});
            } catch (...) {
                // The counts so far stand; the error follows them.
                TJson j;
                j["category"] = U8(CategoryWord(category));
                j["items"] = cleaner.ItemCount;
                j["bytes"] = cleaner.ByteCount;
                FJson["cleaned"].push_back(std::move(j));
                throw;
            }
            TJson j;
            j["category"] = U8(CategoryWord(category));
            j["items"] = cleaner.ItemCount;
            j["bytes"] = cleaner.ByteCount;
            FJson["cleaned"].push_back(std::move(j));
            Say(CategoryText(category) + L": " +
                Fmt(IDS_IECLEAN_CleanReport, cleaner.ItemCount, FormatByteSize(cleaner.ByteCount)));
        });
    }
    return HadProblems() ? kExitError : kExitDone;
}

// ---- /plugins and /remove ----

void TCommandLineRun::SayPlugIns(const std::vector<TListedPlugIn>& list) {
    TJson plugins = TJson::array();
    for (const TListedPlugIn& p : list) plugins.push_back(PlugInJson(p));
    FJson["plugins"] = std::move(plugins);
    Say(Fmt(IDS_COMMANDLINE_PlugInsHeading, list.size()));
    for (const TListedPlugIn& p : list) {
        Say(L"  " + p.Id);
        Say(L"      " + *p.KindText + L": " + (p.Name.empty() ? p.Listed : p.Name));
        if (p.Ref.Kind == TPlugInKind::ComAddOn) Say(L"      " + IDS_IEPLUGIN_BHOFile + p.File);
    }
}

int TCommandLineRun::ListPlugIns() {
    TIEPlugInCleaner cleaner;
    SayPlugIns(sk::ListPlugIns(cleaner));
    return kExitDone;
}

int TCommandLineRun::Remove() {
    TIEPlugInCleaner cleaner;
    const std::vector<TListedPlugIn> listed = sk::ListPlugIns(cleaner);
    // Every id must name an add-on listed now, or nothing is removed.
    TPlugInSelection selection;
    TJson chosen = TJson::array();
    for (size_t i = 0; i < FRequest.PlugIns.size(); ++i) {
        bool found = false;
        for (const TListedPlugIn& p : listed) {
            if (!SamePlugIn(FRequest.PlugIns[i], p.Ref)) continue;
            found = true;
            chosen.push_back(PlugInJson(p));
            TPlugInSelectionEntry entry{p.Ref.Kind, p.Ref.Kind == TPlugInKind::MenuExtension ? p.Name : p.Listed,
                                        p.Ref.View};
            if (std::find(selection.begin(), selection.end(), entry) == selection.end()) selection.push_back(entry);
        }
        if (!found) Problem(Fmt(IDS_COMMANDLINE_NoSuchPlugIn, FRequest.PlugInIds[i]));
    }
    FJson["plugins"] = std::move(chosen);
    if (HadProblems()) {
        Problem(IDS_COMMANDLINE_NothingRemoved);
        return kExitError;
    }

    const TPlugInRemovalResult removal =
        RemovePlugInsWithRestorePoint(cleaner, ProgramRestoreStore(), selection, [](const std::wstring&) {});
    SayRestorePoint(removal.PointId);
    FJson["report"] = TJson::array();
    for (const std::wstring& line : removal.Report) {
        FJson["report"].push_back(U8(line));
        Say(line);
    }
    // Gone is what is no longer listed, whatever the clean counted.
    for (const TListedPlugIn& p : sk::ListPlugIns(cleaner))
        for (size_t i = 0; i < FRequest.PlugIns.size(); ++i)
            if (SamePlugIn(FRequest.PlugIns[i], p.Ref)) Problem(Fmt(IDS_COMMANDLINE_StillListed, p.Id));
    return HadProblems() ? kExitError : kExitDone;
}

// ---- /shield ----

void TCommandLineRun::ReportShield(TIESecurity& security) {
    // The stored switch, as the Security tab trusts it; nothing is written for a missing one.
    const TProfileFile settings(ConfigFileName);
    const bool on = FileExists(ConfigFileName) && settings.ReadBool(kSettingsSection, kIESecurityOnKey, false);
    const int entries = security.CountHosts();
    const std::wstring version = TIESecurity::ReadLocalVersion(security.ListFileName);
    TJson j;
    j["on"] = on;
    j["entries"] = entries;
    j["listVersion"] = TextOrNull(version);
    j["hostsFile"] = U8(security.HostsFileName);
    j["listFile"] = U8(security.ListFileName);
    FJson["shield"] = std::move(j);
    Say(Fmt(IDS_COMMANDLINE_ShieldState, on ? IDS_COMMANDLINE_On : IDS_COMMANDLINE_Off, entries,
            version.empty() ? IDS_COMMANDLINE_NoList : version));
}

const char* OutcomeWord(TSourceOutcome outcome) {
    switch (outcome) {
        case TSourceOutcome::NotModified: return "notModified";
        case TSourceOutcome::SameVersion: return "sameVersion";
        case TSourceOutcome::SameContent: return "sameContent";
        case TSourceOutcome::Newer: return "newer";
        case TSourceOutcome::Refused: return "refused";
        case TSourceOutcome::Failed: break;
    }
    return "failed";
}

void TCommandLineRun::SayRows(const std::vector<TRestoreRow>& rows) {
    for (const TRestoreRow& row : rows) {
        FJson["rows"].push_back(RowJson(row.Label, row.Before, row.After));
        Say(Fmt(IDS_COMMANDLINE_Row, row.Label, row.Before, row.After));
    }
}

int TCommandLineRun::Shield() {
    TIESecurityOptions options;
    options.Pump = &NullMessagePump();
    TIESecurity security(options);
    if (FRequest.Shield == TCliShieldAction::Status) {
        ReportShield(security);
        return kExitDone;
    }
    // The switches as the Security tab loads them: what a change starts from.
    {
        const TProfileFile settings(ConfigFileName);
        security.ShieldOn = settings.ReadBool(kSettingsSection, kIESecurityOnKey, false);
        security.AutoUpdate = settings.ReadBool(kSettingsSection, kIESecurityAutoUpdateKey, false);
    }
    const TRestoreStore store = ProgramRestoreStore();
    FJson["rows"] = TJson::array();
    switch (FRequest.Shield) {
        case TCliShieldAction::On: {
            if (!FileExists(security.ListFileName)) {
                Problem(Fmt(IDS_COMMANDLINE_NoHostsList, security.ListFileName));
                return kExitError;
            }
            const TShieldChangeResult done = TurnShieldOnWithRestorePoint(security, store);
            SayRestorePoint(done.PointId);
            SayRows(done.Rows);
            if (!done.TurnOn.BackupNote.empty()) Say(done.TurnOn.BackupNote);
            break;
        }
        case TCliShieldAction::Off: {
            const TShieldChangeResult done = TurnShieldOffWithRestorePoint(security, store);
            SayRestorePoint(done.PointId);
            SayRows(done.Rows);
            if (!done.TurnOff.Note.empty()) Say(done.TurnOff.Note);
            break;
        }
        default: {
            // Blocks until every source has answered, failed or timed out.
            const TListUpdateResult update = RunShieldListUpdate(security, &store);
            SayRestorePoint(update.PointId);
            TJson j;
            j["installed"] = update.Installed;
            j["hostsInstalled"] = update.HostsInstalled;
            j["upToDate"] = update.UpToDate;
            j["text"] = U8(update.Text());
            j["sources"] = TJson::array();
            for (const TSourceResult& source : update.Sources) {
                TJson s;
                s["url"] = U8(source.Url);
                s["outcome"] = OutcomeWord(source.Outcome);
                s["status"] = source.Status;
                s["reason"] = TextOrNull(source.Reason);
                j["sources"].push_back(std::move(s));
            }
            FJson["update"] = std::move(j);
            // A source that failed, or a list saved but not put in use although the shield is on,
            // is an error to act on; the lists in use stay as they were.
            if (update.FailedSource >= 0)
                Problem(update.Text());
            else
                Say(update.Text());
            if (!update.HostsProblem.empty()) Problem(Fmt(IDS_IESECURITY_UpdateHostsNotChanged, update.HostsProblem));
            break;
        }
    }
    ReportShield(security);
    return HadProblems() ? kExitError : kExitDone;
}

// ---- /restore ----

int TCommandLineRun::Restore() {
    return FRequest.Restore == TCliRestoreAction::List ? RestoreList() : RestorePoint();
}

int TCommandLineRun::RestoreList() {
    const std::vector<TRestorePointInfo> points = ProgramRestoreStore().List();
    TJson list = TJson::array();
    for (const TRestorePointInfo& p : points) {
        TJson j;
        j["id"] = U8(p.Id);
        j["started"] = U8(IsoTime(p.Started));
        j["operation"] = U8(p.Operation);
        j["title"] = U8(p.Title.empty() ? p.Operation : p.Title);
        j["state"] = U8(StateWord(p.State));
        j["items"] = TJson::array();
        for (const std::wstring& item : p.Items) j["items"].push_back(U8(item));
        j["restores"] = TextOrNull(p.Restores);
        if (!p.Problem.empty()) j["problem"] = U8(p.Problem);
        list.push_back(std::move(j));
        Say(Fmt(IDS_COMMANDLINE_PointLine, p.Id, RestorePointTimeText(p.Started), p.Title.empty() ? p.Operation : p.Title,
                RestoreStateText(p.State)));
    }
    FJson["restorePoints"] = std::move(list);
    if (points.empty()) Say(IDS_RESTOREPOINTS_NoPoints);
    return kExitDone;
}

int TCommandLineRun::RestorePoint() {
    const TRestoreStore store = ProgramRestoreStore();
    std::wstring id = FRequest.RestoreId;
    if (FRequest.Restore == TCliRestoreAction::Last) {
        const std::optional<std::wstring> last = store.LastId();
        if (!last) {
            Problem(IDS_COMMANDLINE_NoPointToRestore);
            return kExitError;
        }
        id = *last;
    }
    FJson["restores"] = U8(id);
    FJson["rows"] = TJson::array();
    const TRestorePlan plan = PlanRestore(store, id);
    const std::wstring title = TitleOf(plan.Point), when = RestorePointTimeText(plan.Point.Started);
    if (plan.Changes.empty()) {
        Say(Fmt(IDS_RESTOREPOINTS_NothingToPutBack, title, when));
        return kExitDone;
    }
    if (!plan.ChangedSince.empty()) {
        TJson changed = TJson::array();
        for (const TStateDifference& d : plan.ChangedSince) {
            TJson j;
            j["where"] = U8(d.Where);
            j["recorded"] = U8(d.Recorded);
            j["present"] = U8(d.Present);
            changed.push_back(std::move(j));
        }
        FJson["changedSince"] = std::move(changed);
        if (!FRequest.Force) {
            // Nobody is asked: what the user or another program changed since is not overwritten
            // unless the command says so.
            std::wstring text = Fmt(IDS_COMMANDLINE_ChangedSince, title, when, plan.ChangedSince.size());
            for (const TStateDifference& d : plan.ChangedSince)
                text += L"\n" + Fmt(IDS_RESTOREPOINTS_Difference, d.Where, d.Recorded, d.Present);
            Problem(text);
            return kExitError;
        }
    }
    const TRestoreResult result = RunRestore(store, plan, FRequest.Force);
    SayRestorePoint(result.PointId);
    SayRows(result.Rows);
    Say(Fmt(IDS_COMMANDLINE_Restored, title, when, result.Rows.size()));
    // A point of the shield (or a restore, which may have put one back) changed the hosts file and
    // the shield's switch: the stored switch follows the hosts file, as the window's does.
    if (plan.Point.Operation.starts_with(L"shield-") || plan.Point.Operation == L"restore") {
        TIESecurityOptions options;
        options.Pump = &NullMessagePump();
        TIESecurity security(options);
        ReloadShieldState(security);
    }
    return kExitDone;
}

// ---- The report ----

bool TCommandLineRun::WriteJson(int exitCode) {
    if (!FRequest.JsonFile) return true;
    FJson["exitCode"] = exitCode;
    TJson errors = TJson::array();
    for (const std::wstring& e : FErrors) errors.push_back(U8(e));
    FJson["errors"] = std::move(errors);
    const std::string text = FJson.dump(2, ' ', false, TJson::error_handler_t::replace) + "\n";
    if (FJsonToStdout) {
        if (FConsole.Out().WriteBytes(text)) return true;
        FConsole.Err().Write(Fmt(IDS_COMMANDLINE_JsonFailed, L"-", SystemMessage(::GetLastError())) + L"\n");
        return false;
    }
    const std::wstring& file = *FRequest.JsonFile;
    // Whole or not at all: written beside the file, then put in its place.
    const std::wstring temp = file + L".tmp";
    bool ok = false;
    DWORD error = 0;
    {
        THandle h(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (h) {
            DWORD written = 0;
            ok = ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                 written == text.size() && ::FlushFileBuffers(h.Get());
        }
        if (!ok) error = ::GetLastError();
    }
    if (ok && !::MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temp.c_str());
        FConsole.Err().Write(Fmt(IDS_COMMANDLINE_JsonFailed, file, SystemMessage(error)) + L"\n");
    }
    return ok;
}

std::wstring UsageText() { return IDS_COMMANDLINE_Usage; }

// Runs the command and says why it failed, if it did.
int RunGuarded(TCommandLineRun& run) {
    try {
        return run.Run();
    } catch (const TError& e) {
        run.Problem(e.Message());
    } catch (const std::bad_alloc&) {
        run.Problem(IDS_SURFKEEP_OutOfMemory);
    } catch (const std::exception& e) {
        const char* what = e.what();
        std::wstring text(what, what + strlen(what));
        run.Problem(text);
    }
    return kExitError;
}

}  // namespace

std::vector<std::wstring> ProgramArguments() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
    ::LocalFree(argv);
    return args;
}

int RunCommandLine(const std::vector<std::wstring>& args) {
    TConsoleOutput console;
    // Whoever waits for this process to be ready for input (a launcher's WaitForInputIdle, the
    // "starting" mouse pointer) stops waiting: there is no window to wait for.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    // Told apart before anything is written: a change waits for nobody, it refuses.
    const TCliParse first = ParseCommandLine(args);
    TInstanceLock lock;
    const bool locked = first.Ok() && ChangesMachine(first.Request) ? lock.Acquire() : true;

    try {
        LoadSettings();
    } catch (const TError& e) {
        console.Err().Write(ErrorBoxText(e.Message()) + L"\n");
        return kExitError;
    }
    LoadStringTable();

    // Again, for the texts in the language pack's words.
    const TCliParse parse = ParseCommandLine(args);
    if (!parse.Ok()) {
        console.Err().Write(ErrorBoxText(parse.Problem) + L"\n\n" + UsageText() + L"\n");
        return kExitBadArguments;
    }
    if (parse.Request.Command == TCliCommand::Help) {
        console.Out().Write(UsageText() + L"\n");
        return kExitDone;
    }

    TCommandLineRun run(console, parse.Request);
    int code;
    if (!locked) {
        // The window's title is the language pack's; found means it is the window that holds it.
        const bool window = ::FindWindowW(nullptr, IDS_SURFKEEP_FormTitle.c_str()) != nullptr;
        run.Problem(window ? IDS_COMMANDLINE_WindowOpen : IDS_COMMANDLINE_Busy);
        code = kExitError;
    } else {
        code = RunGuarded(run);
    }
    if (!run.WriteJson(code)) return kExitError;
    return code;
}

}  // namespace sk
