// One page of the main window's tab control. The main window makes the page's sheet (a white
// panel of 752 x 376) and calls these in the order of its start-up and shutdown.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

namespace sk {

class TTabPage {
public:
    virtual ~TTabPage() = default;
    // The tab's caption (a string-table text).
    virtual std::wstring Caption() const = 0;
    // Makes the page's controls on its sheet; owner is the main window (message boxes, errors).
    virtual void CreatePage(HWND sheet, HWND owner) = 0;
    // Applies the string table's texts to the page (and whatever the window does right after).
    virtual void ApplyTexts() {}
    // After the texts: the work the window does before it is first shown.
    virtual void Start() {}
    // Idle time: enabling of the page's commands.
    virtual void UpdateActions() {}
    // The window was shown for the first time / is closing.
    virtual void FormShow() {}
    virtual void FormClose() {}
    // The window's "Update hosts data" command, which the security page carries out.
    virtual void BindUpdateWebList(class TAction& /*action*/) {}
    // A key the page handles wherever the focus is in the window (true: handled).
    virtual bool HandleKey(const MSG&) { return false; }
    // A restore point was put back: the machine changed under the page, which reads again what it
    // shows.
    virtual void MachineChanged() {}
    // How the page's "Restore points" link opens the window; the main window hands it over.
    void SetOpenRestorePoints(std::function<void()> open) { FOpenRestorePoints = std::move(open); }

protected:
    // What the page's "Restore points" link runs (nothing without a main window).
    void OpenRestorePoints() const {
        if (FOpenRestorePoints) FOpenRestorePoints();
    }

private:
    std::function<void()> FOpenRestorePoints;
};

}  // namespace sk
