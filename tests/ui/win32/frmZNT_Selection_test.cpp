// The install selection dialog and its uninstall twin driven as a user would
// inside their modal loops, over a temporary installation: the list built
// from the catalogue, clicks on rows, the selection buttons, the summary and
// the confirmation.

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "catalogue/CatalogueWriter.h"
#include "i18n/TextNumbers.h"
#include "ui/win32/frmZNT_Selection.h"
#include "support/CatalogueEntries.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/Win32Timers.h"

#include <gtest/gtest.h>

#include <memory>

namespace znt::win32 {
namespace {

using testsupport::LoopTimer;

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

class SelectionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        texts.text[kTextInstallTitle] = "Install or update packages";
        texts.text[kTextUninstallTitle] = "Remove packages";
        texts.text[kTextTotalSize] = "Total size";
        texts.text[610] = "All up to date";
        // Two packages out of date (missing files), one current.
        install.write("current.txt", std::string(10, 'x'));
        catalogue.entries.push_back(Package("Alpha", 1, testsupport::SizedFile("a.txt", 5, 2048)));
        catalogue.entries.push_back(Package("Beta", 2, testsupport::SizedFile("b.txt", 5, 3072)));
        catalogue.entries.push_back(
            Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    }

    void WriteCatalogue() {
        std::string bytes, error;
        ASSERT_TRUE(FormatCatalogue(catalogue, bytes, error)) << error;
        ASSERT_TRUE(ov::WriteFileAtomic(install.path() + "\\packages.dat", bytes));
    }
    SelectionContext Context() {
        return {install.path(), packages, listMap, true, texts, sink, progress};
    }
    frmZNT_Install& Open(std::function<void()> run = {}) {
        WriteCatalogue();
        dialog = std::make_unique<frmZNT_Install>(Context(), std::move(run));
        return *dialog;
    }
    // Shows the dialog; drive runs once it is up and must close it. False
    // when the dialog never showed.
    bool ShowAndDrive(frmZNT_Selection& form, const std::function<void()>& drive) {
        bool shown = false;
        bool leftOpen = false;
        LoopTimer timer(10, [&] {
            shown = IsWindowVisible(form.Handle()) != FALSE;
            drive();
        });
        LoopTimer failsafe(3000, [&] {
            leftOpen = true;
            form.PressCloseBox();
        });
        form.ShowModal();
        EXPECT_FALSE(IsWindowVisible(form.Handle()));
        return shown;
    }
    std::string Text(const char* name) { return dialog->Text(name); }

    testsupport::TempDir install;
    Packages catalogue;
    Packages packages;
    ListMap listMap;
    AppTexts texts;
    testsupport::RecordingMessageSink sink;
    ov::NullProgressView progress;
    std::unique_ptr<frmZNT_Install> dialog;
};

TEST_F(SelectionDialogTest, ListsOutOfDatePackagesWithNothingSelected) {
    Open();
    EXPECT_TRUE(ShowAndDrive(*dialog, [this] {
        EXPECT_EQ(dialog->ListRows("List1"),
                  (std::vector<std::string>{"Alpha v1.0 [2 Kb]", "Beta v1.0 [3 Kb]"}));
        EXPECT_EQ(dialog->Caption(), "Install or update packages");
        EXPECT_EQ(Text("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(dialog->Enabled("cmdUpdate"));
        EXPECT_EQ(Text("lblInfo"), "About Alpha");  // the first row is current
        dialog->Click("cmdClose");
    }));
}

// A click toggles its row (several rows stay selected) and makes it current;
// the buttons select all, none or the inverse; the summary follows each.
TEST_F(SelectionDialogTest, ClicksAndSelectionButtonsKeepTheSummaryCurrent) {
    Open();
    ShowAndDrive(*dialog, [this] {
        dialog->ClickListRow("List1", 1);
        EXPECT_TRUE(dialog->ListRowSelected("List1", 1));
        EXPECT_EQ(Text("lblSize"), "Total size: 3 Kb");
        EXPECT_EQ(Text("lblInfo"), "About Beta");
        EXPECT_TRUE(dialog->Enabled("cmdUpdate"));
        dialog->ClickListRow("List1", 0);
        EXPECT_EQ(Text("lblSize"), "Total size: 5 Kb");
        EXPECT_EQ(Text("lblInfo"), "About Alpha");
        dialog->ClickListRow("List1", 1);  // off again; still the current row
        EXPECT_FALSE(dialog->ListRowSelected("List1", 1));
        EXPECT_EQ(Text("lblSize"), "Total size: 2 Kb");
        EXPECT_EQ(Text("lblInfo"), "About Beta");

        dialog->Click("cmdSelectInvert");
        EXPECT_FALSE(dialog->ListRowSelected("List1", 0));
        EXPECT_EQ(Text("lblSize"), "Total size: 3 Kb");
        EXPECT_EQ(Text("lblInfo"), "About Beta");
        dialog->Click("cmdSelectAll");
        EXPECT_EQ(Text("lblSize"), "Total size: 5 Kb");
        dialog->Click("cmdSelectNone");
        EXPECT_EQ(Text("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(dialog->Enabled("cmdUpdate"));
        EXPECT_EQ(Text("lblInfo"), "About Beta");  // current, though not selected
        dialog->Click("cmdClose");
    });
}

TEST_F(SelectionDialogTest, ConfirmMarksTheSelectedRowsRunsAndCloses) {
    bool ran = false;
    Open([&] {
        ran = true;
        EXPECT_TRUE(dialog->InModalLoop());  // the run goes before the dialog closes
        EXPECT_FALSE(packages.Package(1).Marked);
        EXPECT_TRUE(packages.Package(2).Marked);
        EXPECT_TRUE(packages.Package(3).Marked);  // not listed: kept as it was
    });
    ShowAndDrive(*dialog, [this] {
        packages.Package(3).Marked = true;
        dialog->ClickListRow("List1", 1);
        dialog->Click("cmdUpdate");
    });
    EXPECT_TRUE(ran);

    // Close, Esc and the close box run nothing.
    ran = false;
    for (auto close : {+[](Form& f) { f.Click("cmdClose"); }, +[](Form& f) { f.PressEscape(); },
                       +[](Form& f) { f.PressCloseBox(); }}) {
        Open([&] { ran = true; });
        ShowAndDrive(*dialog, [&] {
            dialog->Click("cmdSelectAll");
            close(*dialog);
        });
    }
    EXPECT_FALSE(ran);
}

TEST_F(SelectionDialogTest, EmptyListTellsTheUserAndNeverShows) {
    catalogue.entries.resize(0);
    catalogue.entries.push_back(Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    Open();
    EXPECT_FALSE(ShowAndDrive(*dialog, [] {}));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "All up to date");
}

// The twin: installed packages with their installed size; confirming runs
// the removal inline with the five buttons disabled, for listed packages only.
TEST_F(SelectionDialogTest, UninstallTwinListsInstalledSizesAndRemovesWithButtonsDisabled) {
    install.write("a.txt", std::string(3000, 'a'));
    WriteCatalogue();
    std::vector<bool> enabledDuringRun;
    std::unique_ptr<frmZNT_Uninstall> twin;
    twin = std::make_unique<frmZNT_Uninstall>(Context(), [&] {
        for (const char* name :
             {"cmdClose", "cmdSelectAll", "cmdSelectInvert", "cmdSelectNone", "cmdUpdate"}) {
            enabledDuringRun.push_back(twin->Enabled(name));
        }
        EXPECT_TRUE(packages.Package(1).Marked);
        EXPECT_FALSE(packages.Package(2).Marked);  // not listed: cleared
        EXPECT_FALSE(packages.Package(3).Marked);  // listed, not selected
    });
    EXPECT_TRUE(ShowAndDrive(*twin, [&] {
        EXPECT_EQ(twin->ListRows("List1"),
                  (std::vector<std::string>{"Alpha v1.0 [3 Kb]", "Gamma v1.0 [0 Kb]"}));
        EXPECT_EQ(twin->Caption(), "Remove packages");
        packages.Package(2).Marked = true;
        twin->ClickListRow("List1", 0);
        twin->Click("cmdUpdate");
    }));
    EXPECT_EQ(enabledDuringRun, std::vector<bool>(5, false));
    EXPECT_TRUE(twin->Enabled("cmdClose"));
}

}  // namespace
}  // namespace znt::win32
