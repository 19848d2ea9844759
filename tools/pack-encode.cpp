// pack-encode <1252|1253> <source.utf8> <target>
// Writes a UTF-8 language pack source as the single-byte file the program
// reads, with CR LF line ends. Fails on characters the code page cannot hold.
#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: pack-encode <1252|1253> <source.utf8> <target>\n";
        return 2;
    }
    const std::string cpName = argv[1];
    if (cpName != "1252" && cpName != "1253") {
        std::cerr << "pack-encode: unknown code page " << cpName << '\n';
        return 2;
    }
    const auto cp = cpName == "1253" ? ov::CodePage::Windows1253 : ov::CodePage::Windows1252;
    auto text = ov::ReadWholeFile(argv[2]);
    if (!text) {
        std::cerr << "pack-encode: cannot read " << argv[2] << '\n';
        return 1;
    }
    std::string crlf;
    crlf.reserve(text->size() + text->size() / 16);
    int line = 1;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string row = text->substr(start, end - start);
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (!ov::IsEncodable(row, cp)) {
            std::cerr << argv[2] << ':' << line << ": text not representable in Windows-" << cpName
                      << '\n';
            return 1;
        }
        crlf += ov::EncodeFromUtf8(row, cp);
        crlf += "\r\n";
        start = end + 1;
        ++line;
    }
    std::string target = argv[3];
    auto slash = target.find_last_of('/');
    if (slash != std::string::npos) ov::CreateFolderChain(target.substr(0, slash));
    if (!ov::WriteFileAtomic(target, crlf)) {
        std::cerr << "pack-encode: cannot write " << target << '\n';
        return 1;
    }
    return 0;
}
