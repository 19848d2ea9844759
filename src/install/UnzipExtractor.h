#pragma once

// The install run's extractor over CGUnzipFiles: a new object per archive,
// folders recreated, existing files overwritten, questions to the sink.

#include "install/InstallContext.h"

namespace ov {
class MessageSink;
}

namespace znt {

class UnzipExtractor : public ArchiveExtractor {
public:
    explicit UnzipExtractor(ov::MessageSink& sink) : sink_(sink) {}
    // The extraction's code; a raised error of the extraction counts as a
    // failed archive (-1) and never ends the run.
    int Extract(const std::string& archive, const std::string& folder, std::uint64_t maxFileBytes,
                std::string& reason) override;

private:
    ov::MessageSink& sink_;
};

}  // namespace znt
