#include "app/DialogRuns.h"

#include "app/AppState.h"
#include "app/MainCommands.h"
#include "install/InstallFiles.h"
#include "install/InstallLog.h"
#include "install/InstallOnDisk.h"
#include "install/RemovePackages.h"

namespace znt {
namespace {

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
        .parallel = ParallelDownloads(s.launch, s.store),
        .deltaIndexProblem = s.deltas.problem,
    };
}

}  // namespace

SelectionContext SelectionOf(MainContext& c) {
    AppState& s = c.state;
    SelectionContext selection{
        s.appFolder, s.packages, s.listMap,          IsEnglishSetting(s.languageSetting()),
        s.texts,     s.messages, c.window.Progress()};
    selection.deltas = [&s] {
        return AskDeltaIndex(s.deltas,
                             CatalogueSource{s.SourceIsInternet, s.SourceFolder, s.serverBase},
                             s.inet, s.archiveHashes);
    };
    return selection;
}

InstallOutcome LoggedInstall(AppState& s, DownloadView& view) {
    InstallRequest request = InstallRequestOf(s);
    InstallLog log(DefaultLogPath(s.appFolder), s.appFolder);
    log.Start("INSTALL", request.source);
    request.report = log.Reporter();
    InstallOutcome outcome = InstallOnDisk(request, view);
    log.End(OutcomeWord(outcome));
    return outcome;
}

void LoggedRemoval(AppState& s) {
    DiskFileOps files;
    RemovalContext removal{s.appFolder, s.packages,    s.texts, s.messages,
                           s.appTitle,  s.programPath, files};
    InstallLog log(DefaultLogPath(s.appFolder), s.appFolder);
    log.Start("UNINSTALL", s.appFolder);
    RemovalResult result = RemovePackages(removal);
    log.Removal(result);
    log.End(result.failed.empty() ? "FINISHED" : "FAILED");
}

}  // namespace znt
