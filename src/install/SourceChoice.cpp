#include "install/SourceChoice.h"

#include "OVShared/Platform/AsciiText.h"

namespace znt {

std::string CompleteSourceFolder(std::string_view folder) {
    std::string completed(folder);
    if (ov::AsciiUpper(folder).find("SETUP") == std::string::npos) completed += "\\SETUP";
    return completed;
}

SourceAnswer ConfirmSource(bool internetChosen, std::string_view folder) {
    return SourceAnswer{internetChosen, CompleteSourceFolder(folder)};
}

}  // namespace znt
