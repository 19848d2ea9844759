#include "app/QtAppDialogs.h"

#include "app/AppState.h"
#include "app/MainCommands.h"
#include "OVShared/Platform/FileSystem.h"
#include "install/InstallFiles.h"
#include "install/InstallLog.h"
#include "install/InstallOnDisk.h"
#include "install/RemovePackages.h"
#include "install/frmZNT_Downloads.h"
#include "install/frmZNT_Selection.h"
#include "install/frmZNT_Source.h"
#include "wizard/frmZNT_FirstInstall.h"

#include <QApplication>

namespace znt {
namespace {

QWidget* OwnerOf(MainContext& c) { return dynamic_cast<QWidget*>(&c.window); }

SelectionContext SelectionOf(MainContext& c) {
    AppState& s = c.state;
    return SelectionContext{
        s.appFolder, s.packages, s.listMap,          IsEnglishSetting(s.languageSetting()),
        s.texts,     s.messages, c.window.Progress()};
}

InstallRequest InstallRequestOf(AppState& s) {
    return InstallRequest{
        .installFolder = s.appFolder,
        .packages = s.packages,
        .english = IsEnglishSetting(s.languageSetting()),
        .texts = s.texts,
        .messages = s.messages,
        .title = s.appTitle,
        .inet = s.inet,
        .source = CatalogueSource{s.SourceIsInternet, s.SourceFolder, s.serverBase},
        .coreTexts = s.coreTexts,
        .archiveHashes = s.archiveHashes,
    };
}

// The run of the download window, written to core\zntr.log as it goes.
InstallOutcome LoggedInstall(AppState& s, DownloadView& view) {
    InstallRequest request = InstallRequestOf(s);
    InstallLog log(DefaultLogPath(s.appFolder), s.appFolder);
    log.Start("INSTALL", request.source);
    request.report = log.Reporter();
    InstallOutcome outcome = InstallOnDisk(request, view);
    log.End(OutcomeWord(outcome));
    return outcome;
}

}  // namespace

void QtAppDialogs::ShowSource(MainContext& c) {
    AppState& s = c.state;
    frmZNT_Source dialog({s.SourceIsInternet, s.SourceFolder, s.SourceConfirmed}, s.texts,
                         s.appFolder, OwnerOf(c));
    dialog.exec();
}

// The selection, then the download window with the run; when the run staged
// the program's own executable, every window closes and the program ends.
void QtAppDialogs::ShowInstallSelection(MainContext& c) {
    AppState& s = c.state;
    bool restart = false;
    frmZNT_Install dialog(SelectionOf(c), [&] {
        frmZNT_Downloads downloads(
            s.texts, [&](DownloadView& view) { return LoggedInstall(s, view); },
            QApplication::activeModalWidget());
        restart = downloads.ShowModal() == InstallOutcome::Restart;
    });
    dialog.ShowModal();
    if (restart && OwnerOf(c)) OwnerOf(c)->close();
}

// The selection, then removal inline while the dialog's buttons are disabled.
void QtAppDialogs::ShowUninstallSelection(MainContext& c) {
    AppState& s = c.state;
    frmZNT_Uninstall dialog(SelectionOf(c), [&] {
        DiskFileOps files;
        RemovalContext removal{s.appFolder, s.packages,    s.texts, s.messages,
                               s.appTitle,  s.programPath, files};
        InstallLog log(DefaultLogPath(s.appFolder), s.appFolder);
        log.Start("UNINSTALL", s.appFolder);
        RemovalResult result = RemovePackages(removal);
        log.Removal(result);
        log.End(result.failed.empty() ? "FINISHED" : "FAILED");
    });
    dialog.ShowModal();
}

// No owner: the wizard is the program's only window in its mode and gets
// a taskbar button of its own.
void QtAppDialogs::ShowFirstInstall(MainContext& c) {
    frmZNT_FirstInstall wizard(c);
    wizard.exec();
}

}  // namespace znt
