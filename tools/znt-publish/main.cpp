// znt-publish: writes the update server's catalogue, name list, archives and
// signed hash list from a package description and a folder of payload files.
#include "Description.h"
#include "Publisher.h"
#include "Signer.h"

#include "OVShared/Platform/FileSystem.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: znt-publish [--sign <secret-key>] [--previous <earlier-payload-folder>]...\n"
    "                   <description> <payload-folder> <output-folder>\n"
    "       znt-publish --generate-key <public-key> <secret-key>\n"
    "\n"
    "Writes <output-folder>/packages.dat, <output-folder>/pnames.txt, one\n"
    "archive per file in <output-folder>/files/ and <output-folder>/packages.sha256\n"
    "(sha256sum lines for packages.dat and every archive). Sizes, archive sizes and\n"
    "product versions are taken from the payload files.\n"
    "\n"
    "--sign also writes packages.sha256.minisig, signed with an unencrypted minisign\n"
    "secret key (minisign -G -W, or --generate-key); without it, sign the list with\n"
    "minisign -S -m <output-folder>/packages.sha256. --generate-key writes a new key\n"
    "pair in minisign's file formats (the secret key unencrypted: keep it safe).\n"
    "\n"
    "--previous (repeatable) names the payload folder of an earlier version: for\n"
    "every file that changed since, a delta from that version is written to\n"
    "<output-folder>/files/<archive>.<hash>.zdelta when it is under half the\n"
    "file's archive, and listed in <output-folder>/packages.delta (result SHA-256\n"
    "and size, base SHA-256, delta file and size, file name); both are in\n"
    "packages.sha256.\n"
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

int GenerateKey(const std::string& publicFile, const std::string& secretFile) {
    auto [publicKey, secretKey] = publish::GenerateKeyPair();
    if (publicKey.empty() || !ov::WriteFileAtomic(secretFile, secretKey) ||
        !ov::WriteFileAtomic(publicFile, publicKey)) {
        std::cerr << "znt-publish: cannot write the key pair\n";
        return 1;
    }
    return 0;
}

int PublishTree(const std::vector<std::string>& args, const std::string& secretKey,
                const std::vector<std::string>& previous) {
    auto text = ov::ReadWholeFile(args[0], 1u << 20);
    if (!text) {
        std::cerr << "znt-publish: cannot read " << args[0] << '\n';
        return 1;
    }
    publish::Description description;
    std::string error;
    if (!publish::ParseDescription(*text, description, error)) {
        std::cerr << args[0] << ": " << error << '\n';
        return 1;
    }
    if (!publish::Publish(description, args[1], args[2], secretKey, previous, error)) {
        std::cerr << "znt-publish: " << error << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.size() == 3 && args[0] == "--generate-key") return GenerateKey(args[1], args[2]);
    std::string secretKey;
    std::vector<std::string> previous;
    while (args.size() > 3 && (args[0] == "--sign" || args[0] == "--previous")) {
        if (args[0] == "--sign")
            secretKey = args[1];
        else
            previous.push_back(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 3) {
        std::cerr << kUsage;
        return 2;
    }
    return PublishTree(args, secretKey, previous);
}
