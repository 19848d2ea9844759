// znt-publish: writes the update server's catalogue, name list and archives
// from a package description and a folder of payload files.
#include "Description.h"
#include "Publisher.h"

#include "OVShared/Platform/FileSystem.h"

#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: znt-publish <description> <payload-folder> <output-folder>\n"
    "\n"
    "Writes <output-folder>/packages.dat, <output-folder>/pnames.txt and one\n"
    "archive per file in <output-folder>/files/. Sizes, archive sizes and product\n"
    "versions are taken from the payload files.\n"
    "\n"
    "Description (UTF-8, one \"key = value\" per line, # starts a comment):\n"
    "  [package]                  starts a package; keys that follow belong to it\n"
    "  code = 10                  package code (whole number)\n"
    "  version = 2.1              version text (may be empty)\n"
    "  name.en = ... / name.gr = ...\n"
    "  description.en = ... / description.gr = ...\n"
    "  reserved-number = 0        optional; reserved-flag = true|false, optional\n"
    "  file = version bin\\a.exe   a file checked by its product version\n"
    "  file = size help\\a.htm     a file checked by its exact size\n"
    "  [names]                    then lines \"1 = name\" ... \"108 = name\" for pnames.txt\n"
    "\n"
    "Texts must not hold a double quote and must fit Windows-1253.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 4) {
        std::cerr << kUsage;
        return 2;
    }
    auto text = ov::ReadWholeFile(argv[1], 1u << 20);
    if (!text) {
        std::cerr << "znt-publish: cannot read " << argv[1] << '\n';
        return 1;
    }
    publish::Description description;
    std::string error;
    if (!publish::ParseDescription(*text, description, error)) {
        std::cerr << argv[1] << ": " << error << '\n';
        return 1;
    }
    if (!publish::Publish(description, argv[2], argv[3], error)) {
        std::cerr << "znt-publish: " << error << '\n';
        return 1;
    }
    return 0;
}
