// The command line's arguments taken apart, without touching the machine: what to do, on what, and
// where the JSON goes. Also the add-on ids that /plugins prints and /remove takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plugins/IEPlugInFuncs.h"

namespace sk {

enum class TCliCommand {
    Window,  // no arguments: the program's window
    Help,    // /?
    Scan,
    Repair,
    Clean,
    PlugIns,
    Remove,
    Shield,
    Restore,
};

enum class TCliShieldAction { On, Off, Update, Status };
enum class TCliRestoreAction { List, Last, Point };

// An add-on as an id names it: a context-menu extension by its exact name, or a COM add-on by its
// CLSID in one registry view.
struct TPlugInRef {
    TPlugInKind Kind = TPlugInKind::ComAddOn;
    std::optional<TRegView> View;  // COM add-ons only
    std::wstring Name;

    bool operator==(const TPlugInRef&) const = default;
};

struct TCliRequest {
    TCliCommand Command = TCliCommand::Window;
    // /repair: "all" (the items a check finds needing repair) or these indexes, in the order given,
    // each once.
    bool AllItems = false;
    std::vector<int> Items;
    // /clean: category numbers 1 to 4 (IECleanTempFiles ...), in that order, each once.
    std::vector<int> Categories;
    // /remove: the ids as given (each once) and what they name.
    std::vector<std::wstring> PlugInIds;
    std::vector<TPlugInRef> PlugIns;
    TCliShieldAction Shield = TCliShieldAction::Status;
    TCliRestoreAction Restore = TCliRestoreAction::List;
    std::wstring RestoreId;
    bool Force = false;  // /restore: overwrite what was changed since the operation
    // /json FILE: the file, or "-" for standard output; unset: no JSON.
    std::optional<std::wstring> JsonFile;

    bool operator==(const TCliRequest&) const = default;
};

struct TCliParse {
    TCliRequest Request;
    // Why the arguments are not understood (a text of the string table, filled in); "" when they are.
    std::wstring Problem;
    bool Ok() const { return Problem.empty(); }
};

// Takes the arguments apart (without the program's own name). Switches begin with "/" and ignore
// letter case, as do the words after them (all, temp, on, last ...); a list of values may be given
// comma-separated, as several arguments, or both ("/repair 0,4 9"). No arguments: the window.
TCliParse ParseCommandLine(const std::vector<std::wstring>& args);

// Whether the command changes the machine (and so may not run beside the window).
bool ChangesMachine(const TCliRequest& request);

// The id of an add-on: "menu:<name>" for a context-menu extension, "com:<view>:<CLSID>" for a
// toolbar or browser helper object ("native" or "wow32": the registry view it is listed in; the
// CLSID's letters in upper case, as the registry ignores their case). Every character other than
// ASCII letters, digits and - . _ ~ { } is written %XX (its UTF-8 bytes), so an id holds no blank,
// comma, colon or quote of its own and names exactly one add-on.
std::wstring PlugInId(const TPlugInRef& plugIn);
// The add-on an id names; unset when it is not an id. A %XX escape stands for its byte; any other
// character stands for itself (so a name typed as it is, without commas or "%", is understood too).
std::optional<TPlugInRef> ParsePlugInId(const std::wstring& id);
// Whether an id's add-on is the listed one: names of context-menu extensions exactly, CLSIDs
// ignoring letter case, views alike.
bool SamePlugIn(const TPlugInRef& wanted, const TPlugInRef& listed);

// The view's word in ids and JSON: "native", "wow32", "wow64".
std::wstring RegViewName(TRegView view);

}  // namespace sk
