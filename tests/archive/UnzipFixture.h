#pragma once

// An unzip object over a recording message sink, a temporary folder and its
// "out" folder to extract into.

#include "archive/CGUnzipFiles.h"
#include "support/ZipBuilder.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace archivetest {

struct UnzipFixture : ::testing::Test {
    testsupport::TempDir tmp;
    testsupport::RecordingMessageSink sink;
    znt::CGUnzipFiles unzip{sink};
    std::string out = tmp.file("out");
    std::string Zip(const std::vector<Member>& members) {
        return WriteZip(tmp.file("a.zip"), members);
    }
    std::string Out(const std::string& name) const {
        return testsupport::ReadFile(out + "/" + name);
    }
};

}  // namespace archivetest
