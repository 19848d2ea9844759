#include "install/FetchPass.h"

#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "install/DownloadView.h"
#include "install/FetchFromSource.h"
#include "install/InstallFiles.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace znt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kReasonServerSilent = "server not answering";

// How one item ended, kept until every item before it is reported.
struct Ending {
    bool fetched = false;
    std::string reason;
    std::int64_t milliseconds = 0;
    std::int64_t bytes = 0;           // fetched for the file
    std::vector<InstallEvent> notes;  // about its delta, for the log
};

class FetchPass {
public:
    FetchPass(InstallContext& c, const std::vector<FetchItem>& items);
    bool Run();

private:
    // A control and the archive fetch it carries, if any.
    struct Slot {
        std::unique_ptr<ov::InetControl> own;  // for all but the first
        ov::InetControl* inet = nullptr;
        bool busy = false;
    };
    struct Flight {
        std::size_t item = 0;
        Slot* slot = nullptr;
        Clock::time_point start;
        std::unique_ptr<DownloadWatcher> watcher;
        std::unique_ptr<ArchiveFetch> fetch;
    };

    PackageFileEntry& Entry(std::size_t item) const;
    bool InFlight(const std::string& archive) const;
    bool StartNext();
    bool StepFlights();
    void GiveUpSilentFlights();
    void Follow();
    void Record(std::size_t item, bool fetched, std::string reason, std::int64_t milliseconds,
                const ArchiveFetch* fetch = nullptr);
    void ReportInOrder();

    InstallContext& c_;
    const std::vector<FetchItem>& items_;
    std::shared_ptr<ov::InetWaker> waker_ = std::make_shared<ov::InetWaker>();
    std::vector<Slot> slots_;
    std::vector<Flight> flights_;  // in the list's order
    std::vector<std::optional<Ending>> endings_;
    std::size_t next_ = 0;      // the first item not started
    std::size_t reported_ = 0;  // the first item not reported
    std::optional<std::size_t> followed_;
};

int SlotCount(const InstallContext& c, std::size_t items) {
    if (!c.source.SourceIsInternet) return 1;
    int wanted = std::clamp(c.parallel, 1, kMaxParallel);
    return static_cast<int>(std::clamp<std::size_t>(items, 1, static_cast<std::size_t>(wanted)));
}

FetchPass::FetchPass(InstallContext& c, const std::vector<FetchItem>& items)
    : c_(c), items_(items), endings_(items.size()) {
    const int count = SlotCount(c, items.size());
    slots_.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        Slot& slot = slots_[static_cast<std::size_t>(k)];
        if (k > 0) slot.own = std::make_unique<ov::InetControl>(c.inet.Options());
        slot.inet = k == 0 ? &c.inet : slot.own.get();
        slot.inet->SetWaker(waker_);
    }
}

PackageFileEntry& FetchPass::Entry(std::size_t item) const {
    return c_.packages.Package(items_[item].package).File(items_[item].file);
}

bool FetchPass::InFlight(const std::string& archive) const {
    return std::any_of(flights_.begin(), flights_.end(),
                       [&](const Flight& f) { return Entry(f.item).ArchiveName == archive; });
}

// Starts the next item on a free control, or settles it at once when the
// server has given up; false when nothing could start now.
bool FetchPass::StartNext() {
    if (next_ >= items_.size()) return false;
    auto free = std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.busy; });
    if (free == slots_.end()) return false;
    PackageFileEntry& f = Entry(next_);
    if (InFlight(f.ArchiveName)) return false;
    const std::size_t item = next_++;
    if (c_.run.serverSilent && c_.run.rebuilt.count(f.ArchiveName) == 0 &&
        !CachedArchiveUsable(c_, f, c_.cacheFolder + f.ArchiveName)) {
        f.Fetched = false;
        Record(item, false, kReasonServerSilent, 0);
        return true;
    }
    free->busy = true;
    Flight flight;
    flight.item = item;
    flight.slot = &*free;
    flight.start = Clock::now();
    flight.watcher =
        std::make_unique<DownloadWatcher>(c_, [this, item] { return followed_ == item; });
    flight.fetch = std::make_unique<ArchiveFetch>(c_, items_[item].package, items_[item].file,
                                                  *free->inet, *flight.watcher);
    flights_.push_back(std::move(flight));
    Follow();
    return true;
}

// Gives every fetch in flight its step; true when one of them had work.
bool FetchPass::StepFlights() {
    bool busy = false;
    for (std::size_t k = 0; k < flights_.size();) {
        Flight& flight = flights_[k];
        if (flight.fetch->Step()) {
            busy = busy || flight.fetch->Busy();
            ++k;
            continue;
        }
        busy = true;
        const auto taken =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - flight.start);
        Record(flight.item, flight.fetch->Fetched(),
               c_.run.serverSilent && !flight.fetch->Fetched() ? kReasonServerSilent
                                                               : flight.fetch->Reason(),
               taken.count(), flight.fetch.get());
        flight.slot->busy = false;
        flights_.erase(flights_.begin() + static_cast<std::ptrdiff_t>(k));
        if (c_.run.serverSilent) GiveUpSilentFlights();
        Follow();
    }
    return busy;
}

// Once the server has stopped answering, the downloads in flight that have
// had no answer either are not waited for: each would only spend its own
// stall and retry budget on the same silence.
void FetchPass::GiveUpSilentFlights() {
    for (std::size_t k = 0; k < flights_.size();) {
        Flight& flight = flights_[k];
        if (flight.slot->inet->ResponseCode() != 0) {
            ++k;
            continue;
        }
        flight.fetch.reset();  // stops its transfer
        Entry(flight.item).Fetched = false;
        Record(flight.item, false, kReasonServerSilent, 0);
        flight.slot->busy = false;
        flights_.erase(flights_.begin() + static_cast<std::ptrdiff_t>(k));
    }
}

// The window follows the oldest archive in flight.
void FetchPass::Follow() {
    if (flights_.empty() || followed_ == flights_.front().item) return;
    followed_ = flights_.front().item;
    flights_.front().watcher->ShowAll(Entry(*followed_).ArchiveName);
}

void FetchPass::Record(std::size_t item, bool fetched, std::string reason,
                       std::int64_t milliseconds, const ArchiveFetch* fetch) {
    Ending e{fetched,
             fetched ? std::string() : std::move(reason),
             milliseconds,
             fetch ? fetch->Bytes() : Entry(item).ArchiveSize,
             {}};
    if (fetch) e.notes = fetch->Notes();
    endings_[item] = std::move(e);
    ReportInOrder();
}

void FetchPass::ReportInOrder() {
    while (reported_ < endings_.size() && endings_[reported_]) {
        const Ending& e = *endings_[reported_];
        const PackageFileEntry& f = Entry(reported_);
        for (const InstallEvent& note : e.notes) {
            c_.Report(note.kind, note.name, note.bytes, 0, note.reason);
        }
        c_.Report(e.fetched ? InstallEventKind::ArchiveFetched : InstallEventKind::ArchiveFailed,
                  f.ArchiveName, e.bytes, e.milliseconds, e.reason);
        if (!e.fetched) c_.NoteNotInstalled(InstalledPath(c_.installFolder, f));
        ++reported_;
    }
}

bool FetchPass::Run() {
    std::vector<ov::InetControl*> controls;
    for (Slot& slot : slots_) controls.push_back(slot.inet);
    CancelStopsTransfers cancel(c_, controls);
    YieldClock yield;
    while (next_ < items_.size() || !flights_.empty()) {
        if (c_.view.Cancel().Pressed()) return false;  // the flights stop as they go
        bool busy = false;
        while (StartNext()) busy = true;
        busy = StepFlights() || busy;
        yield.Pace(busy, *waker_);
    }
    return !c_.view.Cancel().Pressed();
}

}  // namespace

bool FetchAll(InstallContext& c, const std::vector<FetchItem>& items) {
    return FetchPass(c, items).Run();
}

}  // namespace znt
