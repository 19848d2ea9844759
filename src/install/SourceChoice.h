#pragma once

// The rules of the source dialog that do not need a window: where the
// packages come from is kept in the program state (SourceIsInternet,
// SourceFolder, SourceConfirmed); the dialog changes them only on OK.

#include <string>
#include <string_view>

namespace znt {

// folder + "\SETUP", unless folder (upper-cased) already holds "SETUP"
// anywhere. A drive root keeps its separator: "E:\" gives "E:\\SETUP".
std::string CompleteSourceFolder(std::string_view folder);

// The answer of a confirmed dialog: the choice, and the folder completed.
struct SourceAnswer {
    bool SourceIsInternet = true;
    std::string SourceFolder;
};
SourceAnswer ConfirmSource(bool internetChosen, std::string_view folder);

// The program values the source dialog reads and writes.
struct SourceValues {
    bool& SourceIsInternet;
    std::string& SourceFolder;
    bool& SourceConfirmed;
};

// The folder label, its caption and Browse only matter for the local choice.
inline bool FolderControlsEnabled(bool internetChosen) { return !internetChosen; }

// OK: the answer goes into the values and the dialog counts as confirmed.
void ConfirmSourceValues(SourceValues values, bool internetChosen);

}  // namespace znt
