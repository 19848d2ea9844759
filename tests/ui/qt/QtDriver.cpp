// The scenario suite's driver and factories over the Qt windows.

#include "support/QtTestApp.h"
#include "ui/UiDriver.h"
#include "ui/qt/frmZNT_Downloads.h"
#include "ui/qt/frmZNT_Selection.h"
#include "ui/qt/frmZNT_Source.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

namespace uitest {
namespace {

class QtDriver : public virtual WindowDriver {
public:
    std::string Caption() const override { return Window().windowTitle().toStdString(); }
    std::string Text(std::string_view control) const override {
        QWidget* w = Find(control);
        if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
        if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title().toStdString();
        return {};
    }
    bool Enabled(std::string_view control) const override {
        QWidget* w = Find(control);
        return w && w->isEnabled();
    }
    bool Checked(std::string_view control) const override {
        auto* button = qobject_cast<QAbstractButton*>(Find(control));
        return button && button->isChecked();
    }
    void Click(std::string_view control) override {
        if (auto* button = qobject_cast<QAbstractButton*>(Find(control))) button->click();
    }
    void PressEscape() override {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &press);
    }
    void PressCloseBox() override {
        Window().show();  // a close box is there to press only on a window on screen
        Window().close();
    }
    bool IsOpen() const override { return !finished_; }
    int Value(std::string_view control) const override {
        auto* bar = qobject_cast<QProgressBar*>(Find(control));
        return bar ? bar->value() : -1;
    }
    int Top(std::string_view control) const override {
        QWidget* w = Find(control);
        return w ? w->mapTo(&Window(), QPoint(0, 0)).y() : -1;
    }
    int RowCount() const override { return List().count(); }
    std::string Row(int row) const override { return List().item(row)->text().toStdString(); }
    bool RowSelected(int row) const override { return List().item(row)->isSelected(); }
    void ClickRow(int row) override {
        QListWidget& list = List();
        list.item(row)->setSelected(!list.item(row)->isSelected());
        list.setCurrentRow(row, QItemSelectionModel::NoUpdate);
    }

protected:
    virtual QDialog& Window() const = 0;
    void Watch() {
        QObject::connect(&Window(), &QDialog::finished, [this] { finished_ = true; });
    }

private:
    QWidget* Find(std::string_view control) const {
        QWidget* w = Window().findChild<QWidget*>(
            QString::fromUtf8(control.data(), static_cast<int>(control.size())));
        EXPECT_NE(w, nullptr) << control;
        return w;
    }
    QListWidget& List() const { return *Window().findChild<QListWidget*>("List1"); }

    bool finished_ = false;
};

class QtSourceDialog : public QtDriver {
public:
    QtSourceDialog(znt::SourceValues values, const znt::AppTexts& texts,
                   const std::string& appFolder, FolderAnswer browse)
        : dialog_(values, texts, appFolder, nullptr,
                  [browse](QWidget*, const QString& title, const std::string& start) {
                      return browse(title.toStdString(), start);
                  }) {
        Watch();
    }

protected:
    QDialog& Window() const override { return const_cast<znt::frmZNT_Source&>(dialog_); }

private:
    znt::frmZNT_Source dialog_;
};

class QtSelectionDialog : public SelectionDriver, public QtDriver {
public:
    QtSelectionDialog(const znt::SelectionContext& context, znt::SelectionKind kind,
                      std::function<void()> run)
        : dialog_(context, kind, std::move(run)) {
        Watch();
    }
    void RunModal(const std::function<void()>& whileOpen) override {
        QTimer::singleShot(0, &dialog_, [this, whileOpen] {
            whileOpen();
            if (dialog_.isVisible()) dialog_.reject();
        });
        dialog_.ShowModal();
    }

protected:
    QDialog& Window() const override { return const_cast<znt::frmZNT_Selection&>(dialog_); }

private:
    znt::frmZNT_Selection dialog_;
};

class QtDownloadWindow : public DownloadDriver, public QtDriver {
public:
    QtDownloadWindow(const znt::AppTexts& texts, znt::frmZNT_Downloads::Run run)
        : window_(texts, std::move(run)) {
        Watch();
    }
    znt::InstallOutcome RunModal(const std::function<void()>& everyTick) override {
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, everyTick);
        tick.start(10);
        return window_.ShowModal();
    }

protected:
    QDialog& Window() const override { return const_cast<znt::frmZNT_Downloads&>(window_); }

private:
    znt::frmZNT_Downloads window_;
};

}  // namespace

void EnsureToolkit() { testsupport::EnsureQApplication(); }

void PumpToolkit() { QCoreApplication::processEvents(); }

std::unique_ptr<DownloadDriver> OpenDownloadWindow(
    const znt::AppTexts& texts, std::function<znt::InstallOutcome(znt::DownloadView&)> run) {
    return std::make_unique<QtDownloadWindow>(texts, std::move(run));
}

std::unique_ptr<WindowDriver> OpenSourceDialog(znt::SourceValues values, const znt::AppTexts& texts,
                                               const std::string& appFolder, FolderAnswer browse) {
    return std::make_unique<QtSourceDialog>(values, texts, appFolder, std::move(browse));
}

std::unique_ptr<SelectionDriver> OpenSelectionDialog(const znt::SelectionContext& context,
                                                     znt::SelectionKind kind,
                                                     std::function<void()> run) {
    return std::make_unique<QtSelectionDialog>(context, kind, std::move(run));
}

}  // namespace uitest
