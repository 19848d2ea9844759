#pragma once

// The worker half of InetControl: one HTTP GET, reported through an
// InetChannel. libcurl carries it here (InetTransfer_posix.cpp), WinINet on
// Windows (InetTransfer_win.cpp).

#include <cstdint>
#include <optional>
#include <string>

namespace ov {

class InetChannel;
struct InetOptions;

// Prepares the HTTP library once per process; safe to call from any thread.
void InitialiseTransfers();

// Runs the transfer to its end (success, failure, stall or cancel) and
// always finishes the channel. Meant to run on a worker thread. With
// rangeStart, asks for the body from that byte on, and with ifRange (not
// empty) only if the body still has that validator.
void RunTransfer(const std::string& url, std::optional<std::uint64_t> rangeStart,
                 const std::string& ifRange, const InetOptions& options, InetChannel& channel);

// What a whole-body fetch (OpenUrl) adds to its request: the validators of
// a copy held, sent when not empty. A 304 answer then ends the transfer as a
// failure with response code 304 and no body. On Windows the body is asked
// gzip-compressed and decoded here, its length and trailer checked.
struct WholeBodyRequest {
    std::string ifNoneMatch;
    std::string ifModifiedSince;
};

void RunWholeBodyTransfer(const std::string& url, const WholeBodyRequest& request,
                          const InetOptions& options, InetChannel& channel);

}  // namespace ov
