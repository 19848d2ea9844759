#pragma once

// modOVCoreFunctions: the small file, path, text, list and font routines
// shared by the programs of the family. Paths are texts with "\" (or "/") between names, converted
// at the file-system boundary. No routine raises an error: failures show in the result or not at
// all. The process routines are in modOVCoreRun.h.

#include "OVShared/Modules/MultiSelectList.h"
#include "OVShared/Platform/PathText.h"  // ParentFolder

#include <string>
#include <string_view>

namespace ov {

// True when path is a regular file that can be opened for reading.
bool FileExists(std::string_view path);

// folder when a probe file folder + "\test.ttt" can be created there (it is
// deleted again); applicationFolder when folder is empty (the disk is not
// touched then) or the probe cannot be created.
std::string UsableFolder(std::string_view folder, std::string_view applicationFolder);

// Each hides the list, sets the selection of items 0 to count - 1, gives the
// current item back and shows the list again.
void SelectAllItems(MultiSelectList& list);
void InvertSelection(MultiSelectList& list);
void SelectNoItems(MultiSelectList& list);

// path without its last n levels: the text before the n-th separator from
// the end ("C:\a\b\c", 1 gives "C:\a\b"). Empty when n is not positive or the
// path has fewer than n separators. "\" and "/" both count.
std::string StripPathLevels(std::string_view path, int n);

// text without leading and trailing spaces (other white space stays).
std::string TrimBoth(std::string_view text);

// text up to its first NUL; all of it when it has none.
std::string CutAtNul(std::string_view text);

// Deletes the file, or every file matching a "*"/"?" pattern in the last
// name (folder + "\*.*" empties a folder), after making each writable.
// Folders are never deleted; every failure is ignored.
void DeleteFileForced(std::string_view pathOrPattern);

// The font every window takes from the language pack (ApplyLanguageFont's
// rule; the windows apply it to themselves and their controls).
struct FontSpec {
    std::string family;
    int pointSize = 0;
    int charset = 0;  // Windows font character set: 0 Western, 161 Greek
};
FontSpec LanguageFont(int packCharset);

}  // namespace ov
