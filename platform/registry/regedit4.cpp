// The REGEDIT4 text format: load (all or nothing, with the line and reason of the first fault)
// and save.
#include <cstdio>
#include <variant>

#include "platform/registry/registry.h"

namespace platform {

namespace {

struct KeyOperation {
    std::string path;
    bool remove = false;
};
struct ValueOperation {
    std::string keyPath;
    RegistryValue value;
    bool remove = false;
};
using Operation = std::variant<KeyOperation, ValueOperation>;

struct ParseFailure {
    int line;
    std::string reason;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted string starting at text[0] == '"'; leaves `text` after the closing quote.
std::optional<std::string> TakeQuoted(std::string_view& text) {
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            result += text[++i];
        } else if (text[i] == '"') {
            text.remove_prefix(i + 1);
            return result;
        } else {
            result += text[i];
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ParseHexList(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    text = Trim(text);
    if (text.empty()) {
        return bytes;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        auto item = Trim(text.substr(start, end - start));
        if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(HexDigit(item[0]) << 4 | HexDigit(item[1])));
        start = end + 1;
    }
    return bytes;
}

// The data part of a value line, after '='.
std::variant<RegistryValue, std::string> ParseData(std::string name, std::string_view data) {
    data = Trim(data);
    if (!data.empty() && data.front() == '"') {
        auto text = TakeQuoted(data);
        if (!text)
            return std::string("the string has no closing quote");
        if (!Trim(data).empty())
            return std::string("text after the closing quote");
        return RegistryValue::String(std::move(name), *text);
    }
    if (data.rfind("dword:", 0) == 0) {
        auto digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            return std::string("a dword takes 1 to 8 hexadecimal digits");
        std::uint32_t value = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0)
                return std::string("a dword takes 1 to 8 hexadecimal digits");
            value = value << 4 | static_cast<std::uint32_t>(HexDigit(c));
        }
        return RegistryValue::Dword(std::move(name), value);
    }
    if (data.rfind("hex", 0) == 0) {
        std::uint32_t type = REG_BINARY;
        auto rest = data.substr(3);
        if (!rest.empty() && rest.front() == '(') {
            auto close = rest.find(')');
            if (close == std::string_view::npos || close == 1 || close > 9)
                return std::string("bad hex(type)");
            type = 0;
            for (char c : rest.substr(1, close - 1)) {
                if (HexDigit(c) < 0)
                    return std::string("bad hex(type)");
                type = type << 4 | static_cast<std::uint32_t>(HexDigit(c));
            }
            rest = rest.substr(close + 1);
        }
        if (rest.empty() || rest.front() != ':')
            return std::string("expected ':' after hex");
        auto bytes = ParseHexList(rest.substr(1));
        if (!bytes)
            return std::string("hex data must be two-digit bytes separated by commas");
        return RegistryValue{std::move(name), type, std::move(*bytes)};
    }
    return std::string("unknown value data (expected \"text\", dword: or hex:)");
}

std::variant<std::vector<Operation>, ParseFailure> Parse(std::string_view text, Registry& registry) {
    std::vector<Operation> operations;
    std::string currentKey;
    bool seenHeader = false;
    int lineNumber = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        // One logical line: hex data may continue on the next line after a trailing backslash.
        std::string line;
        int firstLine = lineNumber + 1;
        for (;;) {
            std::size_t end = text.find('\n', position);
            if (end == std::string_view::npos)
                end = text.size();
            auto physical = Trim(text.substr(position, end - position));
            position = end + 1;
            ++lineNumber;
            line += physical;
            bool hexData = line.find("=hex") != std::string::npos;
            if (!hexData || line.empty() || line.back() != '\\' || position >= text.size()) {
                break;
            }
            line.pop_back();
        }
        std::string_view view = Trim(line);
        if (view.empty() || view.front() == ';') {
            continue;
        }
        if (!seenHeader) {
            if (view != "REGEDIT4") {
                return ParseFailure{firstLine, "not a REGEDIT4 file (the first line must be REGEDIT4)"};
            }
            seenHeader = true;
            continue;
        }
        if (view.front() == '[') {
            if (view.back() != ']')
                return ParseFailure{firstLine, "a key line must end with ']'"};
            auto path = view.substr(1, view.size() - 2);
            bool remove = !path.empty() && path.front() == '-';
            if (remove)
                path.remove_prefix(1);
            if (path.empty() || !registry.OpenPath(std::string(path.substr(0, path.find('\\'))))) {
                return ParseFailure{firstLine, "unknown root key in [" + std::string(path) + "]"};
            }
            operations.push_back(KeyOperation{std::string(path), remove});
            currentKey = remove ? std::string() : std::string(path);
            continue;
        }
        if (currentKey.empty()) {
            return ParseFailure{firstLine, "a value line outside any key"};
        }
        std::string name;
        if (view.front() == '@') {
            view.remove_prefix(1);
        } else if (view.front() == '"') {
            auto quoted = TakeQuoted(view);
            if (!quoted)
                return ParseFailure{firstLine, "the value name has no closing quote"};
            name = *quoted;
        } else {
            return ParseFailure{firstLine, "expected a key in [...], a \"name\"= or @= line"};
        }
        view = Trim(view);
        if (view.empty() || view.front() != '=') {
            return ParseFailure{firstLine, "expected '=' after the value name"};
        }
        view.remove_prefix(1);
        if (Trim(view) == "-") {
            operations.push_back(ValueOperation{currentKey, RegistryValue{name, REG_NONE, {}}, true});
            continue;
        }
        auto parsed = ParseData(name, view);
        if (auto* reason = std::get_if<std::string>(&parsed)) {
            return ParseFailure{firstLine, *reason};
        }
        operations.push_back(ValueOperation{currentKey, std::get<RegistryValue>(std::move(parsed)), false});
    }
    if (!seenHeader) {
        return ParseFailure{1, "not a REGEDIT4 file (the first line must be REGEDIT4)"};
    }
    return operations;
}

std::string SplitRoot(const std::string& path, std::string* rest) {
    auto slash = path.find('\\');
    *rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    return path.substr(0, slash);
}

void AppendEscaped(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

}  // namespace

RegistryLoadResult Registry::LoadRegedit4(std::string_view text) {
    auto parsed = Parse(text, *this);
    if (auto* failure = std::get_if<ParseFailure>(&parsed)) {
        return RegistryLoadResult{false, failure->line, failure->reason};
    }
    for (auto& operation : std::get<std::vector<Operation>>(parsed)) {
        if (auto* key = std::get_if<KeyOperation>(&operation)) {
            std::string rest;
            std::string rootName = SplitRoot(key->path, &rest);
            KeyRef root = RootByName(rootName);
            if (key->remove) {
                DeleteKey(root, rest, true);
            } else {
                Create(root, rest);
            }
        } else {
            auto& value = std::get<ValueOperation>(operation);
            std::string rest;
            std::string rootName = SplitRoot(value.keyPath, &rest);
            KeyRef keyRef = Create(RootByName(rootName), rest);
            if (value.remove) {
                DeleteValue(keyRef, value.value.name);
            } else {
                SetValue(keyRef, std::move(value.value));
            }
        }
    }
    return {};
}

void Registry::SaveKeyLocked(const RegistryKey& key, const std::string& path, std::string& out) {
    out += "[" + path + "]\r\n";
    for (auto& value : key.values_) {
        if (value.name.empty()) {
            out += "@";
        } else {
            AppendEscaped(out, value.name);
        }
        out += "=";
        auto dword = value.AsDword();
        bool plainString = value.type == REG_SZ && !value.data.empty() && value.data.back() == 0 &&
                           value.AsString().size() + 1 == value.data.size();
        if (plainString) {
            AppendEscaped(out, value.AsString());
        } else if (dword) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "dword:%08x", *dword);
            out += digits;
        } else {
            if (value.type == REG_BINARY) {
                out += "hex:";
            } else {
                char prefix[24];
                std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
                out += prefix;
            }
            for (std::size_t i = 0; i < value.data.size(); ++i) {
                char byte[4];
                std::snprintf(byte, sizeof byte, "%02x", value.data[i]);
                out += (i == 0 ? "" : ",");
                out += byte;
            }
        }
        out += "\r\n";
    }
    out += "\r\n";
    for (auto& [name, child] : key.subkeys_) {
        SaveKeyLocked(*child, path + "\\" + child->name_, out);
    }
}

std::string Registry::SaveRegedit4(std::string_view fullPath) {
    KeyRef key = OpenPath(fullPath);
    if (!key) {
        return {};
    }
    std::string out = "REGEDIT4\r\n\r\n";
    std::lock_guard lock(mutex_);
    SaveKeyLocked(*key, std::string(fullPath), out);
    return out;
}

}  // namespace platform
