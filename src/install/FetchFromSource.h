#pragma once

// Fetches one package file's archive from the run's source into the cache
// folder for the install run: from <serverBase>/ovw2010/files/<ArchiveName>, or by a copy of
// <SourceFolder>\files\<ArchiveName>. The download window shows the archive
// in lblCurrent, each transfer state as text 620 + state in lblResponse and
// the progress in PBAR and PTOTAL (a copy moves no bar). While the transfer
// runs, the window's Cancel button stops it at once; a failed transfer is
// tried again after a wait (PartFileTransfer.h). An archive already in the
// cache folder that CachedArchiveUsable accepts (one left complete by an
// interrupted run, with its signed hash) is used as it is, from either
// source. A part file an interrupted run left is continued only with the
// validator recorded with it, or when a signed hash checks the result (a
// result that fails it is fetched whole once more). A signed hash is
// checked against the SHA-256 taken while the archive streamed in, so a
// fetched archive is never read again for it.

#include "install/InstallContext.h"

#include <cstdint>
#include <string>

namespace znt {

// Fetches ArchiveName of file j of package i (both 1-based) into the cache
// folder; sets the entry's Fetched flag and returns it. True only when the
// archive there has exactly ArchiveSize bytes and, when the catalogue was
// signed (c.archiveHashes.required), the hash the list gives; an archive that
// is not listed or differs is deleted and sets c.run.archiveRefused. An entry
// outside the catalogue or failing IsSafeFileEntry is never fetched. When
// false, *reason says why in a short phrase ("HTTP 404", "hash mismatch").
// A download from the server whose last try, after every retry, got no
// response at all sets c.run.serverSilent.
bool FetchFromSource(InstallContext& c, std::int32_t i, std::int32_t j,
                     std::string* reason = nullptr);

// Whether the file at path, in the cache folder before any fetch, may stand
// for the archive of f: a regular file of exactly ArchiveSize bytes with the
// hash a signed catalogue lists for it, or one this run fetched itself.
// Without a signed catalogue nothing an earlier run left is used. Every check of a cached archive
// belongs here.
bool CachedArchiveUsable(const InstallContext& c, const PackageFileEntry& f,
                         const std::string& path);

}  // namespace znt
