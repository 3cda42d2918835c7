// Shared helpers of the player tests: a temporary folder, packet building and one exchange with a
// player.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "player/player.h"
#include "player/word_protocol.h"

namespace player::testing {

// A folder of its own under the test's temporary directory, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "player_test_XXXXXX";
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        EXPECT_FALSE(path_.empty());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A packet of 24-bit words: the header from opcode, class and flags, then the given words.
inline std::vector<std::uint8_t> Packet(std::uint8_t opcode, CommandClass commandClass, std::uint8_t flags,
                                        std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> packet{opcode, static_cast<std::uint8_t>(commandClass), flags};
    packet.resize(WORD_BYTES * (1 + words.size()));
    std::size_t index = 1;
    for (std::uint32_t word : words) {
        WriteWord(packet, index++, word);
    }
    return packet;
}

// The unit count field of a packet for `bytes` of data.
inline std::uint32_t Units(std::size_t bytes) {
    return static_cast<std::uint32_t>(UnitCount(bytes));
}

// Words 1 and 2 of a 32-bit quantity.
inline std::uint32_t Low24(std::uint32_t value) {
    return value & 0xFFFFFF;
}
inline std::uint32_t High8(std::uint32_t value) {
    return value >> 24;
}

// Sends a packet and, when `replyLength` is nonzero, reads that many bytes.
inline BulkInResult Exchange(Player& player, const std::vector<std::uint8_t>& packet,
                             std::size_t replyLength) {
    EXPECT_TRUE(player.HandleBulkOut(packet).accepted);
    if (replyLength == 0) {
        return {};
    }
    return player.HandleBulkIn(replyLength);
}

// A player with the DCC running, strict, on a fresh medium of `megabytes` in `folder`.
inline Player MakePlayer(const TempFolder& folder, std::uint32_t megabytes = 16, PlayerOptions options = {},
                         PlayerSettings settings = {}) {
    std::string error;
    const media_format::Geometry* geometry = nullptr;
    for (const auto& row : media_format::LibraryGeometries()) {
        if (row.HasFlashSizeIndex() && row.megabytes == megabytes) {
            geometry = &row;
        }
    }
    auto medium = NandMedium::Create(folder.File("medium.nand"), *geometry, {}, error);
    EXPECT_TRUE(medium) << error;
    settings.dccRunning = true;
    return Player(std::move(settings), std::move(options), std::move(medium));
}

}  // namespace player::testing
