#include "install/SourceChoice.h"

namespace znt {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

}  // namespace

std::string CompleteSourceFolder(std::string_view folder) {
    std::string completed(folder);
    if (Upper(folder).find("SETUP") == std::string::npos) completed += "\\SETUP";
    return completed;
}

SourceAnswer ConfirmSource(bool internetChosen, std::string_view folder) {
    return SourceAnswer{internetChosen, CompleteSourceFolder(folder)};
}

}  // namespace znt
