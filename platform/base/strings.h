// ANSI (code page 1252) and UTF-16 strings, the conversions between them and UTF-8 (the host's
// encoding), and the case-insensitive comparison Windows uses for names and paths.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::u16string AnsiToWide(std::string_view ansi);
// Characters outside code page 1252 become '?', as the system's default character does.
std::string WideToAnsi(std::u16string_view wide);

std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);
// Host text for an ANSI string and back (file names on the C: drive, messages on the terminal).
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

char ToUpperAnsi(char c);
std::string ToUpperAnsi(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// An ordering that ignores case, for maps keyed by Windows names.
struct LessIgnoreCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

}  // namespace platform
