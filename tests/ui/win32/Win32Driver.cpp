// The scenario suite's driver and factories over the Win32 windows.

#include "support/Win32Timers.h"
#include "ui/UiDriver.h"
#include "ui/win32/Win32Form.h"
#include "ui/win32/frmZNT_Downloads.h"
#include "ui/win32/frmZNT_Selection.h"
#include "ui/win32/frmZNT_Source.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace uitest {
namespace {

using znt::win32::Form;

class Win32Driver : public virtual WindowDriver {
public:
    std::string Caption() const override { return Window().Caption(); }
    std::string Text(std::string_view control) const override {
        Find(control);
        return Window().Text(control);
    }
    bool Enabled(std::string_view control) const override {
        Find(control);
        return Window().Enabled(control);
    }
    bool Checked(std::string_view control) const override {
        HWND c = Find(control);
        return c && SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void Click(std::string_view control) override {
        Find(control);
        Window().Click(control);
    }
    void PressEscape() override { Window().PressEscape(); }
    void PressCloseBox() override { Window().PressCloseBox(); }
    bool IsOpen() const override { return !Window().Ended(); }
    int Value(std::string_view control) const override {
        HWND c = Find(control);
        return c ? static_cast<int>(SendMessageW(c, PBM_GETPOS, 0, 0)) : -1;
    }
    int Top(std::string_view control) const override {
        HWND c = Find(control);
        if (!c) return -1;
        RECT r{};
        GetWindowRect(c, &r);
        POINT p{r.left, r.top};
        ScreenToClient(Window().Handle(), &p);
        return p.y;
    }
    int RowCount() const override { return static_cast<int>(Window().ListRows("List1").size()); }
    std::string Row(int row) const override {
        auto rows = Window().ListRows("List1");
        return row >= 0 && row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)]
                                                               : std::string();
    }
    bool RowSelected(int row) const override { return Window().ListRowSelected("List1", row); }
    void ClickRow(int row) override { Window().ClickListRow("List1", row); }

protected:
    virtual Form& Window() const = 0;

private:
    HWND Find(std::string_view control) const {
        HWND c = Window().Control(control);
        EXPECT_NE(c, nullptr) << control;
        return c;
    }
};

class Win32SourceDialog : public Win32Driver {
public:
    Win32SourceDialog(znt::SourceValues values, const znt::AppTexts& texts,
                      const std::string& appFolder, FolderAnswer browse)
        : dialog_(values, texts, appFolder, nullptr,
                  [browse](HWND, const std::string& title, const std::string& start) {
                      return browse(title, start);
                  }) {}

protected:
    Form& Window() const override { return const_cast<znt::win32::frmZNT_Source&>(dialog_); }

private:
    znt::win32::frmZNT_Source dialog_;
};

class Win32SelectionDialog : public SelectionDriver, public Win32Driver {
public:
    Win32SelectionDialog(const znt::SelectionContext& context, znt::SelectionKind kind,
                         std::function<void()> run)
        : dialog_(context, kind, std::move(run)) {}
    void RunModal(const std::function<void()>& whileOpen) override {
        testsupport::LoopTimer drive(10, [this, whileOpen] {
            whileOpen();
            if (IsWindowVisible(dialog_.Handle())) dialog_.PressEscape();
        });
        dialog_.ShowModal();
    }

protected:
    Form& Window() const override { return const_cast<znt::win32::frmZNT_Selection&>(dialog_); }

private:
    znt::win32::frmZNT_Selection dialog_;
};

class Win32DownloadWindow : public DownloadDriver, public Win32Driver {
public:
    Win32DownloadWindow(const znt::AppTexts& texts, znt::win32::frmZNT_Downloads::Run run)
        : window_(texts, std::move(run)) {}
    znt::InstallOutcome RunModal(const std::function<void()>& everyTick) override {
        testsupport::LoopTimer tick(10, everyTick, true);
        return window_.ShowModal();
    }

protected:
    Form& Window() const override { return const_cast<znt::win32::frmZNT_Downloads&>(window_); }

private:
    znt::win32::frmZNT_Downloads window_;
};

}  // namespace

void EnsureToolkit() {}

void PumpToolkit() { znt::win32::PumpMessages(); }

std::unique_ptr<WindowDriver> OpenSourceDialog(znt::SourceValues values, const znt::AppTexts& texts,
                                               const std::string& appFolder, FolderAnswer browse) {
    return std::make_unique<Win32SourceDialog>(values, texts, appFolder, std::move(browse));
}

std::unique_ptr<SelectionDriver> OpenSelectionDialog(const znt::SelectionContext& context,
                                                     znt::SelectionKind kind,
                                                     std::function<void()> run) {
    return std::make_unique<Win32SelectionDialog>(context, kind, std::move(run));
}

std::unique_ptr<DownloadDriver> OpenDownloadWindow(
    const znt::AppTexts& texts, std::function<znt::InstallOutcome(znt::DownloadView&)> run) {
    return std::make_unique<Win32DownloadWindow>(texts, std::move(run));
}

}  // namespace uitest
