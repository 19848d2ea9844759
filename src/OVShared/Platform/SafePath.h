#pragma once

// Name checks for paths that come from untrusted data (catalogue file names,
// archive member names) and are joined below a folder of ours. "\" and "/"
// both count as separators.

#include <string>
#include <string_view>

namespace ov {

// True when the path names something inside the folder it is joined to:
// not empty, relative (no leading separator), no drive or ":", no ".."
// component, no trailing separator and no control characters.
bool IsContainedRelativePath(std::string_view path);

// One spelling per file for a contained relative path: ASCII lower case,
// "\" between components, empty and "." components dropped, and trailing
// dots and blanks cut from each component (Windows opens "zntr.log." as
// "zntr.log"). Two names with the same key name the same file.
std::string RelativePathKey(std::string_view path);

// True when the relative path (below the installation folder) names one of
// the files the program keeps for itself, or something below its cache:
// the trusted key core\zntr.pub, the log core\zntr.log and its older
// generation core\zntr.log.1, the lock core\zntr.lock, and core\cache (the
// downloads, the staging area and the install journal). Nothing from a
// catalogue may write, replace or delete these, under any spelling.
bool IsProgramOwnFile(std::string_view relativePath);

// IsProgramOwnFile, or the path (below installFolder) reaches one of those
// files or the cache folder on disk by another name (a Windows short name
// such as ZNTR~1.LOC).
bool IsProgramOwnFileIn(std::string_view installFolder, std::string_view relativePath);

}  // namespace ov
