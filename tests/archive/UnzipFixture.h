#pragma once

// An unzip object over a recording message sink, a temporary folder and its
// "out" folder to extract into. The archive tests are built twice, once per
// zip reader (ZNT_TEST_ZLIB_READER selects ours over zlib), and hold both to
// one contract.

#include "archive/CGUnzipFiles.h"
#include "archive/ZipExtract.h"
#include "archive/ZipReader.h"
#include "support/ZipBuilder.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace archivetest {

#if defined(ZNT_TEST_ZLIB_READER) || defined(_WIN32)  // Windows builds have no other
constexpr znt::ZipReaderOpener kReaderUnderTest = znt::OpenZlibReader;
#else
constexpr znt::ZipReaderOpener kReaderUnderTest = znt::OpenLibzipReader;
#endif

// Extraction options that open archives with the reader under test.
inline znt::ExtractOptions Options() {
    znt::ExtractOptions options;
    options.openReader = kReaderUnderTest;
    return options;
}

struct UnzipFixture : ::testing::Test {
    UnzipFixture() { unzip.SetReader(kReaderUnderTest); }
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
