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

namespace znt {

void ConfirmSourceValues(SourceValues values, bool internetChosen) {
    SourceAnswer answer = ConfirmSource(internetChosen, values.SourceFolder);
    values.SourceIsInternet = answer.SourceIsInternet;
    values.SourceFolder = answer.SourceFolder;
    values.SourceConfirmed = true;
}

}  // namespace znt
