#pragma once

// One scenario suite for the windows of both toolkits. A scenario opens a
// window through a factory below and drives it by its controls' names, as a
// user would; the Qt build (tests/ui/qt) and the Win32 build (tests/ui/win32)
// each supply the factories and the driver, so the two sets of windows are
// held to the same behaviour.

#include "i18n/LanguagePack.h"
#include "install/DownloadView.h"
#include "install/InstallRun.h"
#include "install/PackageSelection.h"
#include "install/SourceChoice.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace uitest {

class WindowDriver {
public:
    virtual ~WindowDriver() = default;
    virtual std::string Caption() const = 0;
    // The text of a label, button, radio button or frame.
    virtual std::string Text(std::string_view control) const = 0;
    virtual bool Enabled(std::string_view control) const = 0;
    virtual bool Checked(std::string_view control) const = 0;
    // A user's click; a disabled control ignores it.
    virtual void Click(std::string_view control) = 0;
    virtual void PressEscape() = 0;
    virtual void PressCloseBox() = 0;
    virtual bool IsOpen() const = 0;
    // A progress bar's value; the top edge of a control in the window.
    virtual int Value(std::string_view control) const = 0;
    virtual int Top(std::string_view control) const = 0;

    // The package list (List1).
    virtual int RowCount() const = 0;
    virtual std::string Row(int row) const = 0;
    virtual bool RowSelected(int row) const = 0;
    // A click on the row: toggles its selection and makes it current.
    virtual void ClickRow(int row) = 0;
};

// Asked by the source dialog's Browse: title and start folder in, the
// picked folder out (nothing when the user cancelled).
using FolderAnswer =
    std::function<std::optional<std::string>(const std::string& title, const std::string& start)>;

std::unique_ptr<WindowDriver> OpenSourceDialog(znt::SourceValues values, const znt::AppTexts& texts,
                                               const std::string& appFolder, FolderAnswer browse);

// A selection dialog, not yet shown: RunModal loads and shows it and runs
// whileOpen once it is up (when it shows at all), then returns when it has
// closed; a dialog still open after whileOpen is cancelled.
class SelectionDriver : public virtual WindowDriver {
public:
    virtual void RunModal(const std::function<void()>& whileOpen) = 0;
};

std::unique_ptr<SelectionDriver> OpenSelectionDialog(const znt::SelectionContext& context,
                                                     znt::SelectionKind kind,
                                                     std::function<void()> run);

// The download window around a run, not yet shown. RunModal shows it,
// which starts the run; everyTick runs about every 10 ms while the window
// is up. Returns the run's outcome once the window has closed.
class DownloadDriver : public virtual WindowDriver {
public:
    virtual znt::InstallOutcome RunModal(const std::function<void()>& everyTick) = 0;
};

std::unique_ptr<DownloadDriver> OpenDownloadWindow(
    const znt::AppTexts& texts, std::function<znt::InstallOutcome(znt::DownloadView&)> run);

// Makes the toolkit ready (the Qt application object); once per test.
void EnsureToolkit();
// Handles the toolkit's waiting events once: the program's yield.
void PumpToolkit();

}  // namespace uitest
