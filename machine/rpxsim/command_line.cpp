#include "machine/rpxsim/command_line.h"

#include <algorithm>
#include <charconv>

namespace rpxsim {

unsigned long ParseNumber(const std::string& text, const char* what) {
    unsigned long value = 0;
    int base = 10;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    auto [ptr, ec] = std::from_chars(begin, end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw UsageError(std::string(what) + " must be a number, not '" + text + "'");
    }
    return value;
}

std::string Arguments::Next(const char* what) {
    auto word = NextIfAny();
    if (!word) {
        throw UsageError(std::string("missing ") + what);
    }
    return *word;
}

std::optional<std::string> Arguments::NextIfAny() {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (it->rfind("--", 0) != 0 || *it == "--") {
            if (*it == "--") {
                return std::nullopt;  // the tail after "--" belongs to the subcommand's Rest()
            }
            std::string word = *it;
            words_.erase(it);
            return word;
        }
    }
    return std::nullopt;
}

bool Arguments::Flag(const char* name) {
    auto tail = std::find(words_.begin(), words_.end(), "--");
    auto it = std::find(words_.begin(), tail, std::string("--") + name);
    if (it == tail) {
        return false;
    }
    words_.erase(it);
    return true;
}

std::optional<std::string> Arguments::Option(const char* name) {
    std::string flag = std::string("--") + name;
    auto tail = std::find(words_.begin(), words_.end(), "--");
    for (auto it = words_.begin(); it != tail; ++it) {
        if (*it == flag) {
            if (std::next(it) == tail) {
                throw UsageError(flag + " needs a value");
            }
            std::string value = *std::next(it);
            words_.erase(it, std::next(it, 2));
            return value;
        }
        if (it->rfind(flag + "=", 0) == 0) {
            std::string value = it->substr(flag.size() + 1);
            words_.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

std::optional<unsigned long> Arguments::NumberOption(const char* name) {
    auto value = Option(name);
    if (!value) {
        return std::nullopt;
    }
    return ParseNumber(*value, (std::string("--") + name).c_str());
}

void Arguments::ExpectEnd() const {
    if (!words_.empty()) {
        throw UsageError("unexpected argument '" + words_.front() + "'");
    }
}

std::vector<std::string> Arguments::Rest() {
    std::vector<std::string> rest;
    rest.swap(words_);
    if (!rest.empty() && rest.front() == "--") {
        rest.erase(rest.begin());
    }
    return rest;
}

}  // namespace rpxsim
