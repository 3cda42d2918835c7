// Arbitrary host traffic to the player's firmware: a byte stream cut into bulk OUT transfers and
// bulk IN reads of any length, with or without strict mode. The model answers as a device would
// (a reply, or none and a protocol error), never crashes, never reads or writes past its medium
// or card, and never hands back more bytes than were asked for.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "media_format/geometry.h"
#include "player/memory_card.h"
#include "player/nand_medium.h"
#include "player/player.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// One player for the whole run: an 8 MB medium and a small card in a temporary folder.
player::Player& FuzzedPlayer(bool strict) {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "rpx-fuzz-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()) != nullptr ? pattern : "/tmp");
    }();
    static std::unique_ptr<player::Player> players[2];
    auto& made = players[strict ? 1 : 0];
    if (!made) {
        std::string error;
        const std::string tag = strict ? "strict" : "loose";
        auto medium = player::NandMedium::Create((folder / (tag + ".nand")).string(),
                                                 *media_format::GeometryOfFlashSizeIndex(0), {}, error);
        auto card = player::MemoryCard::Create((folder / (tag + ".card")).string(), 2048, error);
        Require(medium.has_value() && card.has_value());
        player::PlayerSettings settings;
        settings.dccRunning = true;
        player::PlayerOptions options;
        options.strict = strict;
        made = std::make_unique<player::Player>(std::move(settings), std::move(options), std::move(medium),
                                                std::move(card));
    }
    return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    player::Player& device = FuzzedPlayer((data[0] & 1) != 0);
    std::size_t at = 1;
    // Each step: a control byte, then either a transfer of that many bytes out, or a read.
    while (at + 1 < size) {
        const uint8_t control = data[at++];
        const std::size_t length = (std::size_t{data[at++]} << (control & 0x07)) % 20000;
        if ((control & 0x80) != 0) {
            auto reply = device.HandleBulkIn(length);
            Require(reply.data.size() <= length);
            Require(reply.answered || reply.data.empty());
        } else {
            const std::size_t taken = std::min(length, size - at);
            device.HandleBulkOut({data + at, taken});
            at += taken;
        }
    }
    device.HandleReset();
    // The model keeps every protocol error for tests to read; one input's worth is enough here.
    device.Hardware().ClearProtocolErrors();
    return 0;
}
