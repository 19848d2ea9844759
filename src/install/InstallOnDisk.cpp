#include "install/InstallOnDisk.h"

#include "OVShared/Platform/FileSystem.h"
#include "install/InstallFiles.h"
#include "install/UnzipExtractor.h"

namespace znt {

InstallOutcome InstallOnDisk(const InstallRequest& r, DownloadView& view) {
    DiskFileOps files;
    // Start-up makes it for the windows; an unattended run may be the first.
    // A link in its place is replaced by a real folder.
    ov::MakeRealFolder(r.installFolder + "\\core\\cache");
    UnzipExtractor extractor(r.messages);
    InstallContext c{
        .installFolder = r.installFolder,
        .cacheFolder = r.installFolder + "\\core\\cache\\",
        .packages = r.packages,
        .english = r.english,
        .texts = r.texts,
        .messages = r.messages,
        .title = r.title,
        .view = view,
        .inet = r.inet,
        .source = r.source,
        .extractor = extractor,
        .files = files,
        .patcher = AutopatchRunner(r.coreTexts, r.messages),
        .report = r.report,
        .archiveHashes = r.archiveHashes,
        .parallel = r.parallel,
        .logPath = r.logPath,
        .deltaIndexProblem = r.deltaIndexProblem,
    };
    return RunInstall(c);
}

}  // namespace znt
