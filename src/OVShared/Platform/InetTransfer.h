#pragma once

// The worker half of InetControl: one HTTP GET over libcurl, reported
// through an InetChannel.

#include <cstdint>
#include <optional>
#include <string>

namespace ov {

class InetChannel;
struct InetOptions;

// Initialises libcurl once per process; safe to call from any thread.
void EnsureCurlInitialised();

// Runs the transfer to its end (success, failure, stall or cancel) and
// always finishes the channel. Meant to run on a worker thread. With
// rangeStart, asks for the body from that byte on.
void RunTransfer(const std::string& url, std::optional<std::uint64_t> rangeStart,
                 const InetOptions& options, InetChannel& channel);

}  // namespace ov
