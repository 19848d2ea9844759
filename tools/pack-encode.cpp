// pack-encode <1252|1253> <source.utf8> <target>
// Writes a UTF-8 language pack source as the single-byte file the program
// reads, with CR LF line ends. Fails on characters the code page cannot hold.
//
// A source line that starts with "@1252 " or "@1253 " is written in that code
// page instead, without the prefix: the English pack carries its language
// button text in Greek letters, which the program reads as Windows-1253.
#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"

#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::optional<ov::CodePage> CodePageNamed(std::string_view name) {
    if (name == "1252") return ov::CodePage::Windows1252;
    if (name == "1253") return ov::CodePage::Windows1253;
    return std::nullopt;
}

// Removes a "@<code page> " prefix from row and returns its code page.
std::optional<ov::CodePage> TakeLineCodePage(std::string& row) {
    if (row.size() < 6 || row[0] != '@' || row[5] != ' ') return std::nullopt;
    auto cp = CodePageNamed(std::string_view(row).substr(1, 4));
    if (cp) row.erase(0, 6);
    return cp;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: pack-encode <1252|1253> <source.utf8> <target>\n";
        return 2;
    }
    const auto fileCp = CodePageNamed(argv[1]);
    if (!fileCp) {
        std::cerr << "pack-encode: unknown code page " << argv[1] << '\n';
        return 2;
    }
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
        const auto cp = TakeLineCodePage(row).value_or(*fileCp);
        if (!ov::IsEncodable(row, cp)) {
            std::cerr << argv[2] << ':' << line << ": text not representable in Windows-"
                      << (cp == ov::CodePage::Windows1253 ? "1253" : "1252") << '\n';
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
