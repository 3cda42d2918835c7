#include "platform/base/strings.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

// Code page 1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t AnsiCharToWide(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) {
        char16_t w = kCp1252High[c - 0x80];
        return w != 0 ? w : static_cast<char16_t>(c);
    }
    return static_cast<char16_t>(c);
}

char WideCharToAnsi(char16_t w) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
        return static_cast<char>(w);
    }
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == w) {
            return static_cast<char>(0x80 + i);
        }
    }
    if (w >= 0x80 && w < 0xA0) {
        return static_cast<char>(w);  // the undefined bytes round-trip
    }
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string wide;
    wide.reserve(ansi.size());
    for (char c : ansi) {
        wide += AnsiCharToWide(static_cast<unsigned char>(c));
    }
    return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
    std::string ansi;
    ansi.reserve(wide.size());
    for (char16_t w : wide) {
        ansi += WideCharToAnsi(w);
    }
    return ansi;
}

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        int length = byte < 0x80           ? 1
                     : (byte >> 5) == 0x6  ? 2
                     : (byte >> 4) == 0xE  ? 3
                     : (byte >> 3) == 0x1E ? 4
                                           : 0;
        char32_t cp = 0xFFFD;
        if (length == 0 || i + static_cast<std::size_t>(length) > utf8.size()) {
            length = 1;
        } else {
            cp = length == 1 ? byte : byte & (0x7F >> length);
            for (int k = 1; k < length; ++k) {
                auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
                if ((next & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    length = k;
                    break;
                }
                cp = (cp << 6) | (next & 0x3F);
            }
        }
        i += static_cast<std::size_t>(length);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (cp >> 10));
            wide += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            wide += static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp);
        }
    }
    return wide;
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    return WideToUtf8(AnsiToWide(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return WideToAnsi(Utf8ToWide(utf8));
}

char ToUpperAnsi(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string ToUpperAnsi(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return ToUpperAnsi(c); });
    return upper;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ToUpperAnsi(x) == ToUpperAnsi(y);
           });
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool LessIgnoreCase::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(ToUpperAnsi(x)) < static_cast<unsigned char>(ToUpperAnsi(y));
    });
}

}  // namespace platform
