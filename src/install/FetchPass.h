#pragma once

// The install run's fetch pass: the archives of the files to fetch, up to
// InstallContext::parallel downloads at once from the update server (one at
// a time from a local folder), each over a control of its own; the first is
// the context's own control, the others share its options. A download that
// ends lets the next one start, in the list's order; an archive named by a
// file in flight waits until that fetch ends, and is then taken from the
// cache.
//
// The download window follows the oldest archive still in flight: lblCurrent
// names it, PBAR is its bar and lblResponse its last state; PTOTAL and the
// rate line follow the whole run. The archives are reported (ArchiveFetched,
// ArchiveFailed with its reason) in the list's order whatever order their
// downloads end in, so the unattended output and the log do not depend on
// timing. Once the server has stopped answering (FetchFromSource.h), no new
// download starts: the archives left are reported failed ("server not
// answering") unless the cache holds them with proof.
//
// Cancel stops every transfer at once and ends the pass; the files not
// reported yet are dropped with it.

#include "install/InstallContext.h"

#include <cstdint>
#include <vector>

namespace znt {

// File file of package package (both 1-based).
struct FetchItem {
    std::int32_t package = 0;
    std::int32_t file = 0;
};

// Fetches the archive of every item; false when Cancel was pressed.
bool FetchAll(InstallContext& c, const std::vector<FetchItem>& items);

}  // namespace znt
