#include "platform/base/trace.h"

#include <algorithm>
#include <cstdio>

namespace platform {

TraceSink::TraceSink(Clock clock) : clock_(std::move(clock)) {}

bool TraceSink::Selected(const std::string& channel) const {
    return echoChannels_.empty() ||
           std::find(echoChannels_.begin(), echoChannels_.end(), channel) != echoChannels_.end();
}

void TraceSink::Write(const std::string& channel, const std::string& text) {
    TraceLine line{clock_ ? clock_() : 0, channel, text};
    std::lock_guard lock(mutex_);
    if (echo_ != nullptr && Selected(channel)) {
        *echo_ << Format(line) << std::flush;
    }
    lines_.push_back(std::move(line));
}

void TraceSink::EchoTo(std::ostream* stream, std::vector<std::string> channels) {
    std::lock_guard lock(mutex_);
    echo_ = stream;
    echoChannels_ = std::move(channels);
}

std::vector<TraceLine> TraceSink::Lines(const std::string& channel) const {
    std::lock_guard lock(mutex_);
    std::vector<TraceLine> result;
    for (auto& line : lines_) {
        if (channel.empty() || line.channel == channel) {
            result.push_back(line);
        }
    }
    return result;
}

std::string TraceSink::Text(const std::string& channel) const {
    std::string text;
    for (auto& line : Lines(channel)) {
        text += line.text;
        if (text.empty() || text.back() != '\n') {
            text += '\n';
        }
    }
    return text;
}

bool TraceSink::Contains(const std::string& fragment, const std::string& channel) const {
    return Text(channel).find(fragment) != std::string::npos;
}

void TraceSink::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

std::string TraceSink::Format(const TraceLine& line) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "[%6llu.%03llu] ",
                  static_cast<unsigned long long>(line.timeNs / 1'000'000'000),
                  static_cast<unsigned long long>(line.timeNs / 1'000'000 % 1000));
    std::string text = stamp + line.channel + ": " + line.text;
    if (text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace platform
