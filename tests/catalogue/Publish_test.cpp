#include "Description.h"
#include "Publisher.h"
#include "OVShared/Platform/GzipDecoder.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueWriter.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const char* kDescription = R"(# two packages
[package]
code = 12
version = 3.0
name.en = Frame Analysis
name.gr = Ανάλυση Πλαισίων
description.en = Plane frames, "quoted" later
description.gr = Επίπεδα πλαίσια
file = version bin\frame.exe
file = size help\en\index.htm
file = size help/gr/index.htm

[package]
code = 60
reserved-number = 4
reserved-flag = true
name.en = Units
name.gr = Μονάδες
file = size units.dat

[names]
1 = Frame Analysis
55 = Ανάλυση Πλαισίων
)";

std::string WithoutQuotes() {
    std::string d = kDescription;
    d.replace(d.find("\"quoted\""), 8, "quoted");
    return d;
}

// The single member of an archive, or "" when it does not hold exactly one.
std::string OnlyMember(const std::string& zipPath) {
    int code = 0;
    zip_t* za = zip_open(zipPath.c_str(), ZIP_RDONLY, &code);
    if (!za) return "";
    std::string name = zip_get_num_entries(za, 0) == 1 ? zip_get_name(za, 0, 0) : "";
    zip_close(za);
    return name;
}

struct Published {
    TempDir payload, out;
    std::string error;
    testsupport::PeOptions pe;

    bool Run(const std::string& description) {
        pe.productVersion = {3, 0, 12, 7};
        payload.write("bin/frame.exe", "");  // creates the folder
        testsupport::WritePe(payload.file("bin/frame.exe"), pe);
        payload.write("help/en/index.htm", "<p>en</p>");
        payload.write("help/gr/index.htm", "<p>gr!</p>");
        payload.write("units.dat", std::string(3000, 'u'));
        publish::Description d;
        return publish::ParseDescription(description, d, error) &&
               publish::Publish(d, payload.path(), out.path(), error);
    }
};

}  // namespace

TEST(Publish, WritesACatalogueThatReadsBackWithSizesVersionsAndArchives) {
    Published p;
    ASSERT_TRUE(p.Run(WithoutQuotes())) << p.error;
    znt::CatalogueRead read = znt::ReadCatalogue(ReadFile(p.out.file("packages.dat")));
    EXPECT_TRUE(read.complete) << read.problem;
    const znt::Packages& c = read.packages;
    ASSERT_EQ(c.PackageCount(), 2);
    const auto& frame = c.Package(1);
    EXPECT_EQ(frame.Code, 12);
    EXPECT_EQ(frame.Version, "3.0");
    EXPECT_EQ(frame.NameGreek, "Ανάλυση Πλαισίων");
    EXPECT_EQ(frame.DescriptionEnglish, "Plane frames, quoted later");
    ASSERT_EQ(frame.FileCount, 3);
    EXPECT_EQ(frame.File(1).FileName, "bin\\frame.exe");
    EXPECT_EQ(frame.File(1).CheckMode, 0);
    EXPECT_EQ(frame.File(1).ProductVersionLow, (12 << 16) | 7);
    EXPECT_EQ(frame.File(1).ArchiveName, "frame.exe.zip");
    EXPECT_EQ(frame.File(3).FileName, "help\\gr\\index.htm");
    EXPECT_EQ(frame.File(3).CheckMode, 1);
    EXPECT_EQ(frame.File(3).SizeBytes, 10);
    EXPECT_EQ(frame.File(3).ProductVersionLow, 0);
    // Two files share the name index.htm: their archives carry the folders.
    EXPECT_EQ(frame.File(2).ArchiveName, "help_en_index.htm.zip");
    EXPECT_EQ(frame.File(3).ArchiveName, "help_gr_index.htm.zip");
    for (const auto& f : frame.Files) {
        std::string zipPath = p.out.file("files/" + f.ArchiveName);
        EXPECT_EQ(f.ArchiveSize, static_cast<int>(std::filesystem::file_size(zipPath)));
        EXPECT_EQ(OnlyMember(zipPath), f.ArchiveName.substr(0, f.ArchiveName.size() - 4));
    }
    EXPECT_EQ(c.Package(2).ReservedNumber, 4);
    EXPECT_TRUE(c.Package(2).ReservedFlag);
    EXPECT_EQ(c.Package(2).File(1).SizeBytes, 3000);
}

TEST(Publish, TextFilesGetGzipCopiesThatDecodeToTheSameBytesWithTheSameTime) {
    Published p;
    ASSERT_TRUE(p.Run(WithoutQuotes())) << p.error;
    for (const char* name : {"packages.dat", "packages.sha256", "pnames.txt"}) {
        SCOPED_TRACE(name);
        const std::string original = p.out.file(name);
        ov::GzipDecoder decoder;
        std::string back;
        EXPECT_TRUE(decoder.Feed(ReadFile(original + ".gz"), [&](std::string_view piece) {
            back.append(piece);
            return true;
        }));
        EXPECT_TRUE(decoder.Finished());
        EXPECT_EQ(back, ReadFile(original));
        EXPECT_EQ(std::filesystem::last_write_time(original + ".gz"),
                  std::filesystem::last_write_time(original));
    }
    EXPECT_FALSE(std::filesystem::exists(p.out.file("files/frame.exe.zip.gz")));
}

TEST(Publish, CatalogueFileUsesTheExactItemSpelling) {
    Published p;
    ASSERT_TRUE(p.Run(WithoutQuotes())) << p.error;
    std::string bytes = ReadFile(p.out.file("packages.dat"));
    EXPECT_EQ(bytes.substr(0, 6), "2\r\n3\r\n");
    EXPECT_NE(bytes.find(",\"frame.exe.zip\",\"bin\\frame.exe\",0\r\n"), std::string::npos);
    EXPECT_NE(
        bytes.find("60,4,\"\",\"\",\"Units\",\"\xCC\xEF\xED\xDC\xE4\xE5\xF2\",\"\",#TRUE#\r\n"),
        std::string::npos);
    // Writing what was read gives the same bytes again.
    std::string again, error;
    ASSERT_TRUE(znt::FormatCatalogue(znt::ParseCatalogue(bytes), again, error)) << error;
    EXPECT_EQ(again, bytes);
}

TEST(Publish, NameListHas108Lines) {
    Published p;
    ASSERT_TRUE(p.Run(WithoutQuotes())) << p.error;
    std::string names = ReadFile(p.out.file("pnames.txt"));
    EXPECT_EQ(names.substr(0, 18), "1=Frame Analysis\r\n");
    EXPECT_NE(names.find("\r\n55=\xC1\xED\xDC\xEB\xF5\xF3\xE7"), std::string::npos);
    size_t lines = 0;
    for (size_t at = 0; (at = names.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 108u);
}

TEST(Publish, RefusesWhatTheCatalogueCannotCarry) {
    Published quoted;
    EXPECT_FALSE(quoted.Run(kDescription));
    EXPECT_NE(quoted.error.find("DescriptionEnglish"), std::string::npos) << quoted.error;
    EXPECT_NE(quoted.error.find("double quote"), std::string::npos) << quoted.error;

    std::string chinese = WithoutQuotes();
    chinese.replace(chinese.find("Μονάδες"), std::string("Μονάδες").size(), "单位");
    Published unencodable;
    EXPECT_FALSE(unencodable.Run(chinese));
    EXPECT_NE(unencodable.error.find("Windows-1253"), std::string::npos) << unencodable.error;

    publish::Description d;
    std::string error;
    EXPECT_FALSE(publish::ParseDescription("[package]\nfile = size ..\\x.dll\n", d, error));
    EXPECT_EQ(error.substr(0, 7), "line 2:");
    EXPECT_FALSE(publish::ParseDescription("[package]\nfile = crc a.dll\n", d, error));
    EXPECT_FALSE(publish::ParseDescription("code = 1\n", d, error));
    EXPECT_FALSE(publish::ParseDescription("[package]\ncode = 99999999999\n", d, error));
    EXPECT_FALSE(publish::ParseDescription("[names]\n109 = x\n", d, error));

    Published missing;
    EXPECT_FALSE(missing.Run(WithoutQuotes() + "[package]\nfile = size nowhere.dll\n"));
    EXPECT_NE(missing.error.find("nowhere.dll"), std::string::npos) << missing.error;
}
