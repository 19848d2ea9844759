#pragma once

// The install run of the program itself: the real file system, extraction
// through CGUnzipFiles and the patcher through its runner script. The
// download window and the unattended mode both start the run here.

#include "install/InstallRun.h"

namespace ov {
class CoreSectionTable;
}

namespace znt {

struct InstallRequest {
    std::string installFolder;  // without a trailing "\"
    Packages& packages;         // Marked holds the user's selection
    bool english;
    const AppTexts& texts;
    ov::MessageSink& messages;
    std::string title;
    ov::InetControl& inet;
    CatalogueSource source;
    ov::CoreSectionTable& coreTexts;
    InstallReporter report{};
    ArchiveHashes archiveHashes{};    // of a signed catalogue (FetchCatalogue)
    std::string logPath{};            // where report logs; empty: core\zntr.log
    int parallel = kDefaultParallel;  // archive downloads at once
    std::string deltaIndexProblem{};  // why the server's delta index was not used
};

InstallOutcome InstallOnDisk(const InstallRequest& request, DownloadView& view);

}  // namespace znt
