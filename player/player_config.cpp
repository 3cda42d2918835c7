#include "player/player_config.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace player {
namespace {

const char* const SIDECAR_SUFFIX = ".player";

std::string HexNumber(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

// A decimal or 0x-prefixed number no larger than `maximum`.
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t maximum) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || status != std::errc() || end != text.data() + text.size() || value > maximum) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

template <std::size_t N>
bool ParseHexBytes(std::string_view text, std::array<std::uint8_t, N>& out) {
    if (text.size() != 2 * N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        auto value = ParseNumber(std::string("0x") + std::string(text.substr(2 * i, 2)), 0xFF);
        if (!value) {
            return false;
        }
        out[i] = static_cast<std::uint8_t>(*value);
    }
    return true;
}

std::string NandIdText(const NandIdSetting& setting) {
    switch (setting.form) {
        case NandIdForm::STANDARD:
            return "standard";
        case NandIdForm::MAKER_ZERO:
            return "maker-zero";
        case NandIdForm::EXPLICIT:
            break;
    }
    return HexNumber(setting.explicitId.maker) + ":" + HexNumber(setting.explicitId.device);
}

std::optional<NandIdSetting> ParseNandId(std::string_view text) {
    if (text == "standard") {
        return NandIdSetting{NandIdForm::STANDARD, {0, 0}};
    }
    if (text == "maker-zero") {
        return NandIdSetting{NandIdForm::MAKER_ZERO, {0, 0}};
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    auto maker = ParseNumber(text.substr(0, colon), 0xFF);
    auto device = ParseNumber(text.substr(colon + 1), 0xFF);
    if (!maker || !device) {
        return std::nullopt;
    }
    return NandIdSetting{NandIdForm::EXPLICIT,
                         {static_cast<std::uint8_t>(*maker), static_cast<std::uint8_t>(*device)}};
}

// Applies one key=value line; false when the key is unknown or the value does not fit.
bool ApplySetting(PlayerConfig& config, std::string_view key, std::string_view value, bool& firstParameter) {
    PlayerSettings& settings = config.settings;
    CardRegisters& card = config.cardRegisters;
    std::optional<std::uint32_t> number;
    if (key == "variant") {
        number = ParseNumber(value, 0xFFFF);
        auto variant = number ? ChipVariantOfModelNumber(*number) : std::nullopt;
        settings.variant = variant.value_or(settings.variant);
        return variant.has_value();
    }
    if (key == "release") {
        number = ParseNumber(value, 0xFFFF);
        settings.releaseNumber = static_cast<std::uint16_t>(number.value_or(settings.releaseNumber));
        return number.has_value();
    }
    if (key == "dcc-running") {
        number = ParseNumber(value, 1);
        settings.dccRunning = number.value_or(0) == 1;
        return number.has_value();
    }
    if (key == "serial") {
        settings.nandSerial = std::string(value);
        return value.size() <= 20;
    }
    if (key == "battery") {
        settings.batteryLow = value == "low";
        return value == "low" || value == "good";
    }
    if (key == "nand-id") {
        auto id = ParseNandId(value);
        settings.nandId = id.value_or(settings.nandId);
        return id.has_value();
    }
    if (key == "parameter") {
        // The first parameter line replaces the default list.
        if (std::exchange(firstParameter, false)) {
            settings.parameters.clear();
        }
        const std::size_t colon = value.find(':');
        auto type = ParseNumber(value.substr(0, colon), 0xFFFFFF);
        auto parameter =
            colon == std::string_view::npos ? std::nullopt : ParseNumber(value.substr(colon + 1), 0xFFFFFF);
        if (!type || !parameter || settings.parameters.size() == MAX_DEVICE_PARAMETERS) {
            return false;
        }
        settings.parameters.push_back({*type, *parameter});
        return true;
    }
    if (key == "card") {
        config.cardFile = std::string(value);
        return true;
    }
    if (key == "card-serial") {
        card.serial = std::string(value);
        return value.size() <= 20;
    }
    if (key == "card-cid") {
        return ParseHexBytes(value, card.cid);
    }
    if (key == "card-csd") {
        return ParseHexBytes(value, card.csd);
    }
    if (key == "card-ocr") {
        number = ParseNumber(value, 0xFFFFFFFF);
        card.ocr = number.value_or(card.ocr);
        return number.has_value();
    }
    if (key == "card-status") {
        number = ParseNumber(value, 0xFFFF);
        card.status = static_cast<std::uint16_t>(number.value_or(card.status));
        return number.has_value();
    }
    if (key == "card-property") {
        number = ParseNumber(value, 0xFF);
        card.property = static_cast<std::uint8_t>(number.value_or(card.property));
        return number.has_value();
    }
    if (key == "card-erase-group") {
        number = ParseNumber(value, 0xFF);
        card.eraseGroupSectors = static_cast<std::uint8_t>(number.value_or(card.eraseGroupSectors));
        return number.has_value();
    }
    return false;
}

}  // namespace

std::string SidecarPath(const std::string& mediumPath) {
    return mediumPath + SIDECAR_SUFFIX;
}

std::string CardPathOf(const std::string& mediumPath, const PlayerConfig& config) {
    return (std::filesystem::path(mediumPath).parent_path() / std::filesystem::path(config.cardFile))
        .string();
}

std::string FormatPlayerConfig(const PlayerConfig& config) {
    const PlayerSettings& settings = config.settings;
    std::ostringstream text;
    text << "# Simulated RPX-7300 player: the settings that go with the medium file beside this one.\n";
    text << "variant=" << ModelNumber(settings.variant) << "\n";
    text << "release=" << HexNumber(settings.releaseNumber) << "\n";
    text << "dcc-running=" << (settings.dccRunning ? 1 : 0) << "\n";
    text << "serial=" << settings.nandSerial << "\n";
    text << "battery=" << (settings.batteryLow ? "low" : "good") << "\n";
    text << "nand-id=" << NandIdText(settings.nandId) << "\n";
    for (const DeviceParameter& parameter : settings.parameters) {
        text << "parameter=" << parameter.type << ":" << HexNumber(parameter.value) << "\n";
    }
    if (!config.cardFile.empty()) {
        const CardRegisters& card = config.cardRegisters;
        text << "card=" << config.cardFile << "\n";
        text << "card-serial=" << card.serial << "\n";
        text << "card-cid=" << HexBytes(card.cid) << "\n";
        text << "card-csd=" << HexBytes(card.csd) << "\n";
        text << "card-ocr=" << HexNumber(card.ocr) << "\n";
        text << "card-status=" << HexNumber(card.status) << "\n";
        text << "card-property=" << HexNumber(card.property) << "\n";
        text << "card-erase-group=" << unsigned{card.eraseGroupSectors} << "\n";
    }
    return text.str();
}

std::optional<PlayerConfig> ParsePlayerConfig(const std::string& text, std::string& error) {
    PlayerConfig config;
    bool firstParameter = true;
    std::istringstream lines(text);
    std::string line;
    for (unsigned number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view key = std::string_view(line).substr(0, equals);
        const std::string_view value =
            equals == std::string::npos ? std::string_view() : std::string_view(line).substr(equals + 1);
        if (equals == std::string::npos || !ApplySetting(config, key, value, firstParameter)) {
            error = "line " + std::to_string(number) + ": cannot use \"" + line + "\"";
            return std::nullopt;
        }
    }
    return config;
}

bool SavePlayerConfig(const std::string& mediumPath, const PlayerConfig& config, std::string& error) {
    const std::string path = SidecarPath(mediumPath);
    std::ofstream file(path, std::ios::trunc);
    file << FormatPlayerConfig(config);
    file.close();
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

std::optional<PlayerConfig> LoadPlayerConfig(const std::string& mediumPath, std::string& error) {
    const std::string path = SidecarPath(mediumPath);
    std::ifstream file(path);
    if (!file) {
        if (std::filesystem::exists(path)) {
            error = "cannot read " + path;
            return std::nullopt;
        }
        return PlayerConfig{};
    }
    std::ostringstream text;
    text << file.rdbuf();
    auto config = ParsePlayerConfig(text.str(), error);
    if (!config) {
        error = path + ", " + error;
    }
    return config;
}

std::optional<Player> LoadPlayer(const std::string& mediumPath, PlayerOptions options, std::string& error) {
    auto config = LoadPlayerConfig(mediumPath, error);
    if (!config) {
        return std::nullopt;
    }
    auto medium = NandMedium::Open(mediumPath, error);
    if (!medium) {
        return std::nullopt;
    }
    std::optional<MemoryCard> card;
    if (!config->cardFile.empty()) {
        card = MemoryCard::Open(CardPathOf(mediumPath, *config), error);
        if (!card) {
            return std::nullopt;
        }
        card->Registers() = config->cardRegisters;
    }
    return Player(std::move(config->settings), std::move(options), std::move(medium), std::move(card));
}

}  // namespace player
