#pragma once

// Makes a FIFO and keeps a test from hanging on it: once the grace time has
// passed, a helper thread keeps opening the FIFO for writing, which frees a
// reader stuck in open(). Release() says whether that rescue was needed, so a
// test can fail on a blocking open without ever hanging. POSIX only:
// Windows has no FIFOs in the file system.

#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class FifoGuard {
public:
    explicit FifoGuard(std::string path, std::chrono::milliseconds grace = std::chrono::seconds(2))
        : path_(std::move(path)) {
        made_ = ::mkfifo(path_.c_str(), 0644) == 0;
        thread_ = std::thread([this, grace] { Watch(grace); });
    }
    ~FifoGuard() { Release(); }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool Made() const { return made_; }

    // Ends the watch; true when a reader had to be freed.
    bool Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        return rescued_;
    }

private:
    void Watch(std::chrono::milliseconds grace) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, grace, [this] { return done_; })) return;
        while (!done_) {
            int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);  // fails while no reader waits
            if (fd >= 0) {
                rescued_ = true;
                ::close(fd);
            }
            wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; });
        }
    }

    std::string path_;
    bool made_ = false;
    bool done_ = false;
    bool rescued_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

}  // namespace testsupport

#endif
