// Publishing with earlier payload folders: a delta for each changed file
// that is worth it, an index that names its base and result, and both in
// the hash list; a later run without earlier versions withdraws the index.
#include "DeltaPublish.h"
#include "Description.h"
#include "Publisher.h"
#include "catalogue/Signature.h"
#include "support/DeltaBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const char* kDescription = R"([package]
code = 12
name.en = Tools
name.gr = Tools
file = size bin\tool.exe
file = size bin\noise.bin
file = size same.dat
file = size new.dat
[names]
1 = Tools
)";

std::string Random(std::size_t size, std::mt19937& rng) {
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

}  // namespace

TEST(DeltaPublish, WritesWorthwhileDeltasAndIndexesAndHashesThem) {
    std::mt19937 rng(5);
    TempDir v1, v2, out;
    std::string tool = Random(200000, rng), changed = tool;
    for (std::size_t i = 0; i < changed.size(); i += 5000) changed[i] ^= 0x5A;
    std::string same = Random(30000, rng);
    v1.write("bin/tool.exe", tool);
    v1.write("bin/noise.bin", Random(50000, rng));
    v1.write("same.dat", same);
    v2.write("bin/tool.exe", changed);
    v2.write("bin/noise.bin", Random(50000, rng));  // all new: a delta would not be smaller
    v2.write("same.dat", same);
    v2.write("new.dat", "only in the new version");
    publish::Description d;
    std::string error;
    ASSERT_TRUE(publish::ParseDescription(kDescription, d, error)) << error;
    ASSERT_TRUE(publish::Publish(d, v2.path(), out.path(), "", {v1.path(), v1.path()}, error))
        << error;

    std::istringstream index(ReadFile(out.file("packages.delta")));
    std::string line, sha, baseSha, name, fileName;
    std::uint64_t size = 0, deltaSize = 0;
    std::getline(index, line);
    ASSERT_EQ(line[0], '#');
    ASSERT_TRUE(index >> sha >> size >> baseSha >> name >> deltaSize >> fileName);
    EXPECT_EQ(fileName, "bin\\tool.exe");
    EXPECT_EQ(sha, *znt::FileSha256Hex(v2.file("bin/tool.exe")));
    EXPECT_EQ(baseSha, *znt::FileSha256Hex(v1.file("bin/tool.exe")));
    EXPECT_EQ(size, changed.size());
    EXPECT_EQ(name, "tool.exe." + baseSha.substr(0, 16) + ".zdelta");
    EXPECT_EQ(deltaSize, ReadFile(out.file("files/" + name)).size());
    EXPECT_FALSE(index >> sha)
        << "one delta only: the rest did not change, is new or would not be smaller";

    auto rebuilt = deltatest::Apply(v1.file("bin/tool.exe"), out.file("files/" + name));
    ASSERT_TRUE(rebuilt.ok) << rebuilt.error;
    EXPECT_TRUE(rebuilt.bytes == changed);

    std::string hashes = ReadFile(out.file("packages.sha256"));
    EXPECT_NE(hashes.find(*znt::FileSha256Hex(out.file("packages.delta")) + "  packages.delta\n"),
              std::string::npos);
    EXPECT_NE(hashes.find("  files/" + name + "\n"), std::string::npos);

    ASSERT_TRUE(publish::Publish(d, v2.path(), out.path(), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(out.file("packages.delta")));
    EXPECT_EQ(ReadFile(out.file("packages.sha256")).find("packages.delta"), std::string::npos);
}
