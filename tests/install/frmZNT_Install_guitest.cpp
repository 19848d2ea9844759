// The install selection dialog driven as a user would over a temporary
// installation: the list built from the catalogue, the summary, the
// selection buttons and the confirmation.

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "catalogue/CatalogueWriter.h"
#include "i18n/TextNumbers.h"
#include "install/PackageSelection.h"
#include "ui/qt/frmZNT_Selection.h"
#include "support/CatalogueEntries.h"
#include "support/QtTestApp.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace znt {
namespace {

PackageEntry Package(const std::string& name, std::int32_t code, PackageFileEntry file) {
    PackageEntry p;
    p.NameEnglish = name;
    p.NameGreek = name + " (el)";
    p.DescriptionEnglish = "About " + name;
    p.Version = "1.0";
    p.Code = code;
    p.Files.push_back(std::move(file));
    p.FileCount = 1;
    return p;
}

class InstallDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        texts.text[200] = "Install or update packages";
        texts.text[kTextTotalSize] = "Total size";
        texts.text[610] = "All up to date";
        // Two packages out of date (missing files), one current.
        install.write("current.txt", std::string(10, 'x'));
        catalogue.entries.push_back(Package("Alpha", 1, testsupport::SizedFile("a.txt", 5, 2048)));
        catalogue.entries.push_back(Package("Beta", 2, testsupport::SizedFile("b.txt", 5, 3072)));
        catalogue.entries.push_back(
            Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    }

    frmZNT_Install& Open(std::function<void()> run = {}) {
        std::string bytes, error;
        EXPECT_TRUE(FormatCatalogue(catalogue, bytes, error)) << error;
        EXPECT_TRUE(ov::WriteFileAtomic(install.path() + "\\packages.dat", bytes));
        SelectionContext c{install.path(), packages, listMap, true, texts, sink, progress};
        dialog = std::make_unique<frmZNT_Install>(c, std::move(run));
        return *dialog;
    }
    // Shows the dialog; check() runs once it is up, then the dialog closes.
    void ShowAndDrive(const std::function<void()>& check) {
        QTimer::singleShot(0, dialog.get(), [this, check] {
            check();
            if (dialog->isVisible()) dialog->reject();
        });
        dialog->ShowModal();
    }
    template <typename T>
    T* Control(const char* name) {
        return dialog->findChild<T*>(name);
    }
    std::string Label(const char* name) { return Control<QLabel>(name)->text().toStdString(); }
    void Click(const char* name) { Control<QPushButton>(name)->click(); }
    QListWidget& List() { return *Control<QListWidget>("List1"); }

    testsupport::TempDir install;
    Packages catalogue;
    Packages packages;
    ListMap listMap;
    AppTexts texts;
    testsupport::RecordingMessageSink sink;
    ov::NullProgressView progress;
    std::unique_ptr<frmZNT_Install> dialog;
};

TEST_F(InstallDialogTest, ListsOutOfDatePackagesWithNothingSelected) {
    Open();
    ShowAndDrive([this] {
        ASSERT_EQ(List().count(), 2);
        EXPECT_EQ(List().item(0)->text().toStdString(), "Alpha v1.0 [2 Kb]");
        EXPECT_EQ(List().item(1)->text().toStdString(), "Beta v1.0 [3 Kb]");
        EXPECT_EQ(dialog->windowTitle().toStdString(), "Install or update packages");
        EXPECT_EQ(Label("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(Control<QPushButton>("cmdUpdate")->isEnabled());
        EXPECT_EQ(Label("lblInfo"), "About Alpha");  // the first row is current
    });
}

TEST_F(InstallDialogTest, SelectionButtonsAndClicksKeepTheSummaryCurrent) {
    Open();
    ShowAndDrive([this] {
        Click("cmdSelectAll");
        EXPECT_EQ(Label("lblSize"), "Total size: 5 Kb");
        EXPECT_TRUE(Control<QPushButton>("cmdUpdate")->isEnabled());
        Click("cmdSelectInvert");
        EXPECT_EQ(Label("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(Control<QPushButton>("cmdUpdate")->isEnabled());
        List().item(1)->setSelected(true);
        List().setCurrentRow(1, QItemSelectionModel::NoUpdate);
        EXPECT_EQ(Label("lblSize"), "Total size: 3 Kb");
        EXPECT_EQ(Label("lblInfo"), "About Beta");
        Click("cmdSelectNone");
        EXPECT_FALSE(Control<QPushButton>("cmdUpdate")->isEnabled());
        EXPECT_EQ(Label("lblInfo"), "About Beta");  // current, though not selected
    });
}

TEST_F(InstallDialogTest, ConfirmMarksTheSelectedRowsRunsAndCloses) {
    bool ran = false;
    Open([&] {
        ran = true;
        EXPECT_FALSE(packages.Package(1).Marked);
        EXPECT_TRUE(packages.Package(2).Marked);
        EXPECT_FALSE(packages.Package(3).Marked);  // current: never marked
    });
    ShowAndDrive([this] {
        List().item(1)->setSelected(true);
        Click("cmdUpdate");
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(InstallDialogTest, EmptyListTellsTheUserAndNeverShows) {
    catalogue.entries.resize(0);
    catalogue.entries.push_back(Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    Open();
    bool shown = false;
    ShowAndDrive([&] { shown = true; });
    EXPECT_FALSE(shown);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "All up to date");
}

// The twin: installed packages with their installed size; confirming runs
// the removal inline with the five buttons disabled, for listed packages only.
TEST_F(InstallDialogTest, UninstallTwinListsInstalledSizesAndRemovesWithButtonsDisabled) {
    install.write("a.txt", std::string(3000, 'a'));
    std::string bytes, error;
    ASSERT_TRUE(FormatCatalogue(catalogue, bytes, error)) << error;
    ASSERT_TRUE(ov::WriteFileAtomic(install.path() + "\\packages.dat", bytes));
    texts.text[kTextUninstallTitle] = "Remove packages";
    SelectionContext c{install.path(), packages, listMap, true, texts, sink, progress};
    std::vector<bool> enabledDuringRun;
    frmZNT_Uninstall twin(c, [&] {
        for (const char* name :
             {"cmdClose", "cmdSelectAll", "cmdSelectInvert", "cmdSelectNone", "cmdUpdate"}) {
            enabledDuringRun.push_back(twin.findChild<QPushButton*>(name)->isEnabled());
        }
        EXPECT_TRUE(packages.Package(1).Marked);
        EXPECT_FALSE(packages.Package(3).Marked);  // installed but not selected
    });
    QTimer::singleShot(0, &twin, [&] {
        auto* list = twin.findChild<QListWidget*>("List1");
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text().toStdString(), "Alpha v1.0 [3 Kb]");
        EXPECT_EQ(list->item(1)->text().toStdString(), "Gamma v1.0 [0 Kb]");
        EXPECT_EQ(twin.windowTitle().toStdString(), "Remove packages");
        list->item(0)->setSelected(true);
        twin.findChild<QPushButton*>("cmdUpdate")->click();
    });
    twin.ShowModal();
    EXPECT_EQ(enabledDuringRun, std::vector<bool>(5, false));
    EXPECT_TRUE(twin.findChild<QPushButton*>("cmdClose")->isEnabled());
    EXPECT_EQ(twin.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace znt
