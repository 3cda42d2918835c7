#include "platform/files/c_drive.h"

#include <system_error>
#include <vector>

#include "platform/base/strings.h"

namespace platform {

CDrive::CDrive(std::filesystem::path root) : root_(std::move(root)) {}

std::optional<std::filesystem::path> CDrive::Resolve(std::string_view path) const {
    for (std::string_view prefix : {"\\DosDevices\\", "\\??\\", "\\\\?\\"}) {
        if (StartsWithIgnoreCase(path, prefix)) {
            path.remove_prefix(prefix.size());
            break;
        }
    }
    if (path.size() < 2 || ToUpperAnsi(path[0]) != 'C' || path[1] != ':') {
        return std::nullopt;
    }
    path.remove_prefix(2);

    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        auto name = path.substr(start, end - start);
        if (name == "..") {
            if (names.empty())
                return std::nullopt;
            names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.emplace_back(name);
        }
        start = end + 1;
    }

    std::filesystem::path host = root_;
    for (auto& name : names) {
        std::filesystem::path exact = host / AnsiToUtf8(name);
        std::error_code error;
        if (!std::filesystem::exists(exact, error)) {
            for (auto& entry : std::filesystem::directory_iterator(host, error)) {
                if (EqualsIgnoreCase(Utf8ToAnsi(entry.path().filename().string()), name)) {
                    exact = entry.path();
                    break;
                }
            }
        }
        host = exact;
    }
    return host;
}

}  // namespace platform
