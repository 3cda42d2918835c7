// The trace sink of one machine: where debugger output and kernel debug prints land.
// Every line carries its virtual time and a channel ("debug", "kernel", "pnp", "scan"...), so a
// test can read one channel and `rpxsim --debug` can print them as they come.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace platform {

struct TraceLine {
    std::uint64_t timeNs;
    std::string channel;
    std::string text;
};

class TraceSink {
  public:
    using Clock = std::function<std::uint64_t()>;

    explicit TraceSink(Clock clock = {});

    void Write(const std::string& channel, const std::string& text);
    // Echo every new line (of the given channels, all when empty) to a stream as it is written.
    void EchoTo(std::ostream* stream, std::vector<std::string> channels = {});

    std::vector<TraceLine> Lines(const std::string& channel = {}) const;
    // The text of the lines of a channel (all when empty), joined.
    std::string Text(const std::string& channel = {}) const;
    bool Contains(const std::string& fragment, const std::string& channel = {}) const;
    void Clear();

    static std::string Format(const TraceLine& line);

  private:
    bool Selected(const std::string& channel) const;

    Clock clock_;
    mutable std::mutex mutex_;
    std::vector<TraceLine> lines_;
    std::ostream* echo_ = nullptr;
    std::vector<std::string> echoChannels_;
};

}  // namespace platform
