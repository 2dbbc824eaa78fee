// A check-list tree: a tree view whose nodes carry a check box (none, plain or tri-state), a
// disabled flag, an icon index and data of the owning tab, with a checking event that may refuse a
// change and a checked event after it. Check boxes are drawn from our own state images (blank,
// unchecked, checked, mixed), so they look the same on every Windows version and under Wine, and
// are toggled by our own mouse and Space handling.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "base/Scoped.h"
#include "base/Window.h"

namespace sk {

enum TCheckType { ctNone = 0, ctTriState = 1, ctCheckBox = 2 };
enum TCheckState { csUnchecked = 0, csMixed = 1, csChecked = 2 };

struct TCheckNode {
    TCheckNode* Parent = nullptr;
    std::vector<TCheckNode*> Children;  // owned by the tree
    HTREEITEM Item = nullptr;
    int Index = -1;  // the tab's number for the node (the cleaning tree's icon)
    TCheckType CheckType = ctNone;
    TCheckState CheckState = csUnchecked;
    bool Disabled = false;
    std::wstring Text;  // the caption
    std::any Data;      // the rest of the tab's record
};

// A tree view with our window procedure in front of its own (an attached TWindow): the clicks on
// the tick boxes and the Space key come to the tree itself. It lives in its parent's 96-dpi layout:
// its place, the font it is given (WM_SETFONT), its row height (TVM_SETITEMHEIGHT), its tick boxes
// and its icons show at its DPI.
class TCheckTree : public TWindow {
public:
    TCheckTree() = default;
    ~TCheckTree() override;

    // Creates the tree view as a child of parent, at x, y, w, h of parent's layout.
    HWND Create(HWND parent, int x, int y, int w, int h, int id);
    // The nodes' icons (by their Index): pictures of the program (names as in Assets.h), shown at the
    // tree's scale, 16 x 16 in the layout; a missing one is blank.
    void SetIcons(const std::vector<std::wstring>& pictureNames);
    HIMAGELIST Icons() const { return FIcons.Get(); }

    // Raised before a node's check state changes; return false to refuse.
    std::function<bool(TCheckNode& node, TCheckState newState)> OnChecking;
    // Raised after a node's check state changed.
    std::function<void(TCheckNode& node)> OnChecked;
    // Tri-state tracking: a change of a node passes on to its children, and a tri-state parent
    // shows checked, unchecked or mixed after its children.
    bool TriStateTracking = true;

    TCheckNode* AddNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text);
    // AddNode, then SetCheckState(state); the node enters the tree view with the state it ends up
    // with (the events see it before it is shown, with no Item yet), which spares the tree view a
    // second message per node when thousands are added.
    TCheckNode* AddNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text, TCheckState state);
    // The one way a check state changes: only when it differs, the node is enabled and the
    // checking event allows it. Returns whether it changed.
    bool SetCheckState(TCheckNode& node, TCheckState state);
    void SetText(TCheckNode& node, const std::wstring& text);
    void SetDisabled(TCheckNode& node, bool disabled);
    void Clear();
    void Expand(TCheckNode& node, bool expand);

    const std::vector<TCheckNode*>& TopLevel() const { return FTopLevel; }
    TCheckNode* NodeOf(HTREEITEM item) const;

    // Redraw off while many nodes are added; EndUpdate repaints.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdating > 0; }
    // Lets a long fill show progress: repaints now even while updating.
    void RepaintNow();

    // What a click on a check box or the Space key does: checked becomes unchecked, anything else checked.
    void Toggle(TCheckNode& node);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDpiChanged(int oldDpi) override;

private:
    void CreateIcons();
    TCheckNode* NewNode(TCheckNode* parent, TCheckType type, int index, const std::wstring& text);
    void InsertItem(TCheckNode& node);
    void UpdateItemState(const TCheckNode& node);
    void UpdateParents(TCheckNode* parent);
    void CreateStateImages();

    TImageList FStateImages;
    TImageList FIcons;
    std::vector<std::wstring> FIconNames;
    HFONT FLayoutFont = nullptr;  // as given; not owned
    int FLayoutItemHeight = 0;    // as given (0: the tree's own)
    std::optional<TRedrawOff> FRedrawOff;  // while updating
    std::vector<std::unique_ptr<TCheckNode>> FNodes;
    std::vector<TCheckNode*> FTopLevel;
    int FUpdating = 0;
    bool FInParentUpdate = false;
};

// Holds a tree's drawing off for its lifetime (BeginUpdate, and EndUpdate on every way out).
class TCheckTreeUpdate {
public:
    explicit TCheckTreeUpdate(TCheckTree& tree) : FTree(tree) { FTree.BeginUpdate(); }
    ~TCheckTreeUpdate() { FTree.EndUpdate(); }
    TCheckTreeUpdate(const TCheckTreeUpdate&) = delete;
    TCheckTreeUpdate& operator=(const TCheckTreeUpdate&) = delete;

private:
    TCheckTree& FTree;
};

// The operations both trees use.
TCheckNode* AddCheckNode(TCheckTree& tree, TCheckNode* parent, TCheckState state, TCheckType type, int index,
                         const std::wstring& text);
void SetCheckStateDeep(TCheckTree& tree, TCheckNode* node, TCheckState state);
void SetAllCheckStates(TCheckTree& tree, TCheckState state);
TCheckNode* FindCategoryNode(const TCheckTree& tree, const std::wstring& text);

}  // namespace sk
