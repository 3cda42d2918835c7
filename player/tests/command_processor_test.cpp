#include "player/command_processor.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <utility>
#include <vector>

#include "player/tests/test_support.h"

namespace player {
namespace {

using testing::Exchange;
using testing::High8;
using testing::Low24;
using testing::Packet;

constexpr CommandClass DEVICE = CommandClass::DEVICE;
constexpr CommandClass NAND = CommandClass::NAND;
constexpr CommandClass MMC = CommandClass::MMC;
constexpr std::uint32_t CARD_SECTORS = 2048;

std::vector<std::uint8_t> ProgramCsdPacket(std::uint8_t fill) {
    std::vector<std::uint8_t> packet = Packet(MMC_PROGRAM_CSD, MMC, 0x40, {0, 0, 0, 0, 0, 0, 0});
    std::fill(packet.begin() + 6, packet.begin() + 22, fill);
    return packet;
}

class CommandProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override { Start({}, {}); }

    void Start(PlayerSettings settings, PlayerOptions options) {
        std::string error;
        auto medium = NandMedium::Create(folder_.File("medium.nand"),
                                         *media_format::GeometryOfFlashSizeIndex(1), {}, error);
        ASSERT_TRUE(medium) << error;
        auto card = MemoryCard::Create(folder_.File("card.img"), CARD_SECTORS, error);
        ASSERT_TRUE(card) << error;
        card->Registers().property = 0x5C;
        card->Registers().eraseGroupSectors = 16;
        card->Registers().status = 0x0900;
        card->Registers().cid.fill(0xC1);
        card->Registers().csd.fill(0xD5);
        card->Registers().ocr = 0x80FF8000;
        card->Registers().serial = "CARD42";
        settings.dccRunning = true;
        settings.nandSerial = "NAND0123";
        player_.emplace(std::move(settings), std::move(options), std::move(medium), std::move(card));
    }

    Player& player() { return *player_; }
    const ProtocolErrorLog& Errors() { return player_->ProtocolErrors(); }
    NandMedium& Medium() { return const_cast<NandMedium&>(*player_->Hardware().Medium()); }

    testing::TempFolder folder_;
    std::optional<Player> player_;
};

struct ReplyCase {
    const char* name;
    std::vector<std::uint8_t> packet;
    std::size_t wireLength;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // expected reply bytes at offsets
};

TEST_F(CommandProcessorTest, EveryCommandAnswersWithItsReplyLayout) {
    const std::vector<ReplyCase> cases{
        {"CMD_GET_PARAMETERS",
         Packet(CMD_GET_PARAMETERS, DEVICE, 0, {}),
         64,
         {{0, 3}, {3, 0}, {6, 0x02}, {7, 0x01}, {9, 1}, {12, 0x02}, {13, 0x01}, {15, 2}, {18, 0}, {21, 0}}},
        {"CMD_GET_POWER_STATUS", Packet(CMD_GET_POWER_STATUS, DEVICE, 0, {}), 64, {{0, 0}, {1, 0}, {2, 0}}},
        {"CMD_GET_CHIP_ID", Packet(CMD_GET_CHIP_ID, DEVICE, 0, {}), 64, {{0, 0}, {1, 0x10}, {2, 0x82}}},
        {"NAND_READ_ID", Packet(NAND_READ_ID, NAND, 0x80, {0}), 64, {{0, 0}, {3, 0x98}, {4, 0x73}, {6, 1}}},
        {"NAND_READ_ID other selector", Packet(NAND_READ_ID, NAND, 0x80, {1}), 64, {{0, 1}, {3, 0}, {4, 0}}},
        {"NAND_READ_SERIAL",
         Packet(NAND_READ_SERIAL, NAND, 0, {0}),
         64,
         {{0, 8}, {3, 'N'}, {10, '3'}, {11, 0}}},
        {"NAND_READ_PAGES 1",
         Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 1, 9, 0}),
         576,
         {{0, 0xFF}, {527, 0xFF}, {528, 0}}},
        {"NAND_READ_PAGES 32",
         Packet(NAND_READ_PAGES, NAND, 0x80, {32 * 512, 0, 528, 32, 264, 0}),
         16896,
         {{16895, 0xFF}}},
        {"NAND_READ_BLOCK_STATUS 256",
         Packet(NAND_READ_BLOCK_STATUS, NAND, 0x80, {0, 0, 528, 256, 16384, 24, 0}),
         1536,
         {{0, 0xFF}, {1535, 0xFF}}},
        {"NAND_ERASE_BLOCK",
         Packet(NAND_ERASE_BLOCK, NAND, 0x40, {32 * 512, 0, 32, 0}),
         64,
         {{0, 0}, {3, 0}}},
        {"MMC_DETECT",
         Packet(MMC_DETECT, MMC, 0, {0}),
         64,
         {{0, 0}, {3, 0x00}, {4, 0x08}, {5, 0}, {9, 0x5C}, {12, 16}, {15, 1}}},
        {"MMC_READ_STATUS", Packet(MMC_READ_STATUS, MMC, 0, {0}), 64, {{0, 0x00}, {1, 0x09}}},
        {"MMC_READ_CID", Packet(MMC_READ_CID, MMC, 0x80, {0}), 64, {{0, 0}, {3, 0xC1}, {20, 0xC1}, {21, 0}}},
        {"MMC_READ_OCR",
         Packet(MMC_READ_OCR, MMC, 0x80, {0}),
         64,
         {{0, 0}, {3, 0x00}, {4, 0x80}, {5, 0xFF}, {6, 0x80}}},
        {"MMC_READ_CSD", Packet(MMC_READ_CSD, MMC, 0x80, {0}), 64, {{0, 0}, {3, 0xD5}, {18, 0xD5}, {19, 0}}},
        {"MMC_PROGRAM_CSD", ProgramCsdPacket(0x11), 64, {{0, 0}}},
        {"MMC_READ_BLOCK", Packet(MMC_READ_BLOCK, MMC, 0x80, {0, 512, 0}), 512, {{0, 0}}},
        {"MMC_READ_MULTIPLE 40", Packet(MMC_READ_MULTIPLE, MMC, 0x80, {0, 0, 0, 40}), 20480, {{20479, 0}}},
        {"MMC_ERASE", Packet(MMC_ERASE, MMC, 0x40, {0, 0, 0, 63 * 512, 0}), 64, {{0, 0}}},
        {"MMC_ERASE past the end",
         Packet(MMC_ERASE, MMC, 0x40, {0, 0, 0, CARD_SECTORS * 512, 0}),
         64,
         {{0, 2}}},
        {"MMC_READ_SERIAL", Packet(MMC_READ_SERIAL, MMC, 0, {0}), 64, {{0, 6}, {3, 'C'}, {8, '2'}}},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Start({}, {});
        BulkInResult reply = Exchange(player(), c.packet, 65536);
        ASSERT_TRUE(reply.answered);
        EXPECT_EQ(reply.data.size(), c.wireLength);
        EXPECT_EQ(reply.data.size() % UNIT_BYTES, 0u);
        for (const auto& [offset, value] : c.bytes) {
            ASSERT_LT(offset, reply.data.size());
            EXPECT_EQ(reply.data[offset], value) << "offset " << offset;
        }
        EXPECT_TRUE(Errors().empty()) << Errors().front().detail;
    }
}

TEST_F(CommandProcessorTest, ChangedBytesAreReportedOnceAndSetAgainBySwappingOrPowerOn) {
    const auto readId = Packet(NAND_READ_ID, NAND, 0x80, {0});
    const auto detect = Packet(MMC_DETECT, MMC, 0, {0});
    EXPECT_EQ(Exchange(player(), readId, 64).data[6], 1);
    EXPECT_EQ(Exchange(player(), readId, 64).data[6], 0);
    EXPECT_EQ(Exchange(player(), detect, 64).data[15], 1);
    EXPECT_EQ(Exchange(player(), detect, 64).data[15], 0);

    player().Hardware().RemoveCard();
    BulkInResult noCard = Exchange(player(), detect, 64);
    EXPECT_EQ(noCard.data[0], CARD_STATUS_NO_CARD);
    EXPECT_EQ(noCard.data[3], 0);
    EXPECT_EQ(noCard.data[15], 1);

    player().PowerOn();
    EXPECT_EQ(Exchange(player(), readId, 64).data[6], 1);

    std::string error;
    player().Hardware().SwapMedium(std::nullopt);
    BulkInResult noMedium = Exchange(player(), readId, 64);
    EXPECT_EQ(noMedium.data[0], NAND_STATUS_NO_MEDIUM);
    EXPECT_EQ(noMedium.data[6], 1);
}

TEST_F(CommandProcessorTest, NandIdFormsFollowTheSettings) {
    struct Case {
        NandIdSetting setting;
        NandId expected;
    };
    for (const Case& c :
         {Case{{NandIdForm::STANDARD, {}}, {0x98, 0x73}}, Case{{NandIdForm::MAKER_ZERO, {}}, {0, 4}},
          Case{{NandIdForm::EXPLICIT, {0xEC, 0x42}}, {0xEC, 0x42}}}) {
        PlayerSettings settings;
        settings.nandId = c.setting;
        Start(settings, {});
        BulkInResult reply = Exchange(player(), Packet(NAND_READ_ID, NAND, 0x80, {0}), 64);
        EXPECT_EQ((NandId{reply.data[3], reply.data[4]}), c.expected);
    }
    EXPECT_EQ(ReportedNandId({}, 8), (NandId{0x98, 0xE6}));
    EXPECT_EQ(ReportedNandId({}, 128), (NandId{0x98, 0x79}));
    EXPECT_EQ(ReportedNandId({}, 48), (NandId{0, 12}));
    EXPECT_EQ(ReportedNandId({}, 512), (NandId{0, 128}));
    EXPECT_EQ(ReportedNandId({NandIdForm::MAKER_ZERO, {}}, 8), (NandId{0, 2}));
}

TEST_F(CommandProcessorTest, WritePageDataPhaseProgramsByAndAndReadsBack) {
    std::vector<std::uint8_t> page(PAGE_BYTES);
    std::iota(page.begin(), page.end(), std::uint8_t{0});
    Exchange(player(), Packet(NAND_WRITE_PAGE, NAND, 0x40, {5 * 512, 0, 528, 0}), 0);
    EXPECT_FALSE(player().HandleBulkIn(64).answered);  // a write has no reply
    ASSERT_TRUE(player().HandleBulkOut(page).accepted);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), Medium().Page(5).begin()));

    std::vector<std::uint8_t> mask(PAGE_BYTES, 0x0F);
    Exchange(player(), Packet(NAND_WRITE_PAGE, NAND, 0x40, {5 * 512, 0, 528, 0}), 0);
    player().HandleBulkOut(mask);
    BulkInResult reply =
        Exchange(player(), Packet(NAND_READ_PAGES, NAND, 0x80, {5 * 512, 0, 528, 1, 9, 0}), 576);
    for (std::size_t i = 0; i < PAGE_BYTES; ++i) {
        ASSERT_EQ(reply.data[i], page[i] & 0x0F) << i;
    }
    ASSERT_EQ(Errors().size(), 1u);  // the read of the write's reply
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::READ_WITHOUT_REPLY);
}

TEST_F(CommandProcessorTest, WritePagesTakesItsDataInPiecesAndCrossesBlocks) {
    const std::uint32_t pages = 34;  // the last two pages of block 0 .. the first two of block 2
    std::vector<std::uint8_t> data(PAGE_BYTES * pages, 0x00);
    for (std::uint32_t i = 0; i < pages; ++i) {
        data[i * PAGE_BYTES] = static_cast<std::uint8_t>(i);
    }
    Exchange(player(),
             Packet(NAND_WRITE_PAGES, NAND, 0x40, {30 * 512, 0, 528, pages, testing::Units(data.size()), 0}),
             0);
    const std::span<const std::uint8_t> all(data);
    player().HandleBulkOut(all.first(16896));
    EXPECT_EQ(Medium().Page(30)[0], 0xFF);  // nothing programmed before the data are complete
    player().HandleBulkOut(all.subspan(16896));
    for (std::uint32_t i = 0; i < pages; ++i) {
        EXPECT_EQ(Medium().Page(30 + i)[0], i);
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommandProcessorTest, EraseBlockResetsTheBlockOnly) {
    std::vector<std::uint8_t> zeros(PAGE_BYTES * 64, 0);
    Exchange(player(), Packet(NAND_WRITE_PAGES, NAND, 0x40, {0, 0, 528, 64, testing::Units(zeros.size()), 0}),
             0);
    player().HandleBulkOut(zeros);
    BulkInResult reply = Exchange(player(), Packet(NAND_ERASE_BLOCK, NAND, 0x40, {32 * 512, 0, 32, 0}), 64);
    EXPECT_EQ(ReadWord(reply.data, 0), ERASE_STATUS_OK);
    EXPECT_EQ(Medium().Page(31)[0], 0x00);
    EXPECT_EQ(Medium().Page(32)[0], 0xFF);
    EXPECT_EQ(Medium().Page(63)[PAGE_BYTES - 1], 0xFF);
}

TEST_F(CommandProcessorTest, BlockStatusRecordsAreRedundantBytesFourToNine) {
    std::vector<std::uint8_t> page(PAGE_BYTES, 0xFF);
    const std::array<std::uint8_t, 6> record{0xF8, 0x00, 0x10, 0x02, 0xAB, 0xCD};
    std::copy(record.begin(), record.end(), page.begin() + 512 + 4);
    Exchange(player(), Packet(NAND_WRITE_PAGE, NAND, 0x40, {7 * 32 * 512, 0, 528, 0}), 0);
    player().HandleBulkOut(page);
    BulkInResult reply = Exchange(
        player(), Packet(NAND_READ_BLOCK_STATUS, NAND, 0x80, {6 * 32 * 512, 0, 528, 2, 16384, 1, 0}), 64);
    ASSERT_EQ(reply.data.size(), 64u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), reply.data.begin() + 6));
    EXPECT_EQ(reply.data[0], 0xFF);
    EXPECT_EQ(reply.data[12], 0x00);  // padding of the unit
}

TEST_F(CommandProcessorTest, CardReadsWritesAndProgramsItsRegisters) {
    std::vector<std::uint8_t> data(40 * CARD_SECTOR_BYTES);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i / CARD_SECTOR_BYTES + 1);
    }
    Exchange(player(), Packet(MMC_WRITE_MULTIPLE, MMC, 0x40, {0, 100 * 512, 0, 40}), 0);
    const std::span<const std::uint8_t> all(data);
    player().HandleBulkOut(all.first(16896));  // the card engine's piece size
    player().HandleBulkOut(all.subspan(16896));
    EXPECT_EQ(player().Hardware().Card()->Sector(139)[0], 40);

    BulkInResult one = Exchange(player(), Packet(MMC_READ_BLOCK, MMC, 0x80, {0, 101 * 512, 0}), 512);
    EXPECT_EQ(one.data[511], 2);
    Exchange(player(), Packet(MMC_WRITE_BLOCK, MMC, 0x40, {0, 101 * 512, 0}), 0);
    player().HandleBulkOut(std::vector<std::uint8_t>(512, 0x77));
    BulkInResult many = Exchange(player(), Packet(MMC_READ_MULTIPLE, MMC, 0x80, {0, 100 * 512, 0, 3}), 2048);
    ASSERT_EQ(many.data.size(), 1536u);
    EXPECT_EQ(many.data[0], 1);
    EXPECT_EQ(many.data[512], 0x77);
    EXPECT_EQ(many.data[1024], 3);

    Exchange(player(), Packet(MMC_ERASE, MMC, 0x40, {0, 100 * 512, 0, 101 * 512, 0}), 64);
    EXPECT_EQ(player().Hardware().Card()->Sector(101)[0], 0);
    EXPECT_EQ(player().Hardware().Card()->Sector(102)[0], 3);

    Exchange(player(), ProgramCsdPacket(0x42), 64);
    BulkInResult csd = Exchange(player(), Packet(MMC_READ_CSD, MMC, 0x80, {0}), 64);
    EXPECT_EQ(csd.data[3], 0x42);
    EXPECT_EQ(csd.data[18], 0x42);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommandProcessorTest, ReplyIsReadInPiecesOfTheHostsChoice) {
    const auto readPages = Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 2, 17, 0});
    player().HandleBulkOut(readPages);
    EXPECT_EQ(player().HandleBulkIn(512).data.size(), 512u);
    EXPECT_EQ(player().HandleBulkIn(4096).data.size(), 1088u - 512u);
    EXPECT_FALSE(player().HandleBulkIn(64).answered);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::READ_WITHOUT_REPLY);
}

struct RejectionCase {
    const char* name;
    std::uint32_t dccVersion;
    std::uint32_t capabilities;
    std::vector<std::uint8_t> packet;
    ProtocolErrorKind kind;
};

TEST_F(CommandProcessorTest, StrictModeRejectsWhatTheFirmwareDoesNotExpect) {
    auto longer = Packet(CMD_GET_PARAMETERS, DEVICE, 0, {0});
    const std::vector<RejectionCase> cases{
        {"unknown opcode", 0x102, 0x102, Packet(0x55, DEVICE, 0, {}), ProtocolErrorKind::UNKNOWN_COMMAND},
        {"unknown class", 0x102, 0x102, Packet(0x00, CommandClass{3}, 0, {}),
         ProtocolErrorKind::UNKNOWN_COMMAND},
        {"chip id without capability", 0x102, 0x100, Packet(CMD_GET_CHIP_ID, DEVICE, 0, {}),
         ProtocolErrorKind::UNKNOWN_COMMAND},
        {"serial before 258", 0x101, 0x102, Packet(NAND_READ_SERIAL, NAND, 0, {0}),
         ProtocolErrorKind::UNKNOWN_COMMAND},
        {"card serial at 256", 0x100, 0x102, Packet(MMC_READ_SERIAL, MMC, 0, {0}),
         ProtocolErrorKind::UNKNOWN_COMMAND},
        {"two bytes", 0x102, 0x102, {0x03, 0x00}, ProtocolErrorKind::WRONG_LENGTH},
        {"longer device packet", 0x102, 0x102, longer, ProtocolErrorKind::WRONG_LENGTH},
        {"short NAND packet", 0x102, 0x102, Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 1, 9}),
         ProtocolErrorKind::WRONG_LENGTH},
        {"NAND flags for old firmware", 0x100, 0x102, Packet(NAND_READ_ID, NAND, 0x80, {0}),
         ProtocolErrorKind::WRONG_FLAGS},
        {"NAND without flags for new firmware", 0x102, 0x102, Packet(NAND_READ_ID, NAND, 0, {0}),
         ProtocolErrorKind::WRONG_FLAGS},
        {"MMC without flags", 0x100, 0x102, Packet(MMC_READ_CID, MMC, 0, {0}),
         ProtocolErrorKind::WRONG_FLAGS},
        {"device command with flags", 0x102, 0x102, Packet(CMD_GET_POWER_STATUS, DEVICE, 0x80, {}),
         ProtocolErrorKind::WRONG_FLAGS},
        {"wrong unit count", 0x102, 0x102, Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 1, 8, 0}),
         ProtocolErrorKind::BAD_FIELD},
        {"unaligned page address", 0x102, 0x102, Packet(NAND_READ_PAGES, NAND, 0x80, {100, 0, 528, 1, 9, 0}),
         ProtocolErrorKind::BAD_FIELD},
        {"pages past the end", 0x102, 0x102,
         Packet(NAND_READ_PAGES, NAND, 0x80, {32767 * 512, 0, 528, 2, 17, 0}),
         ProtocolErrorKind::OUT_OF_RANGE},
        {"address past 32 bits of pages", 0x102, 0x102,
         Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0x10, 528, 1, 9, 0}), ProtocolErrorKind::OUT_OF_RANGE},
        {"erase with wrong pages per block", 0x102, 0x102,
         Packet(NAND_ERASE_BLOCK, NAND, 0x40, {0, 0, 16, 0}), ProtocolErrorKind::BAD_FIELD},
        {"erase past the end", 0x102, 0x102,
         Packet(NAND_ERASE_BLOCK, NAND, 0x40, {Low24(1024 * 32 * 512), High8(1024 * 32 * 512), 32, 0}),
         ProtocolErrorKind::OUT_OF_RANGE},
        {"block status with wrong block size", 0x102, 0x102,
         Packet(NAND_READ_BLOCK_STATUS, NAND, 0x80, {0, 0, 528, 1, 8192, 1, 0}),
         ProtocolErrorKind::BAD_FIELD},
        {"NAND on selector 1", 0x102, 0x102, Packet(NAND_READ_PAGES, NAND, 0x80, {0, 0, 528, 1, 9, 1}),
         ProtocolErrorKind::NO_MEDIUM},
        {"card read past the end", 0x102, 0x102,
         Packet(MMC_READ_BLOCK, MMC, 0x80, {0, CARD_SECTORS * 512, 0}), ProtocolErrorKind::OUT_OF_RANGE},
        {"card read of no sectors", 0x102, 0x102, Packet(MMC_READ_MULTIPLE, MMC, 0x80, {0, 0, 0, 0}),
         ProtocolErrorKind::OUT_OF_RANGE},
    };
    for (const RejectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlayerSettings settings;
        settings.parameters = {{PARAMETER_CAPABILITIES, c.capabilities},
                               {PARAMETER_DCC_VERSION, c.dccVersion}};
        Start(settings, {});
        player().HandleBulkOut(c.packet);
        EXPECT_FALSE(player().HandleBulkIn(65536).answered);
        ASSERT_EQ(Errors().size(), 2u);
        EXPECT_EQ(Errors()[0].kind, c.kind) << Errors()[0].detail;
        EXPECT_EQ(Errors()[0].packet, 1u);
        EXPECT_EQ(Errors()[1].kind, ProtocolErrorKind::READ_WITHOUT_REPLY);
    }
}

TEST_F(CommandProcessorTest, LenientModeAcceptsLongerPacketsAndAnyFlags) {
    PlayerOptions options;
    options.strict = false;
    Start({}, options);
    auto longer = Packet(CMD_GET_POWER_STATUS, DEVICE, 0x80, {0x123456});
    EXPECT_TRUE(Exchange(player(), longer, 64).answered);
    EXPECT_TRUE(Exchange(player(), Packet(NAND_READ_ID, NAND, 0, {0}), 64).answered);
    player().HandleBulkOut(std::vector<std::uint8_t>{0x03, 0x00});  // still too short
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::WRONG_LENGTH);
}

TEST_F(CommandProcessorTest, OldFirmwareTakesNandPacketsWithZeroFlags) {
    PlayerSettings settings;
    settings.parameters = {{PARAMETER_DCC_VERSION, 0x100}};
    Start(settings, {});
    EXPECT_EQ(Exchange(player(), Packet(NAND_READ_PAGES, NAND, 0, {0, 0, 528, 1, 9, 0}), 576).data.size(),
              576u);
    EXPECT_EQ(Exchange(player(), Packet(MMC_READ_BLOCK, MMC, 0x80, {0, 0, 0}), 512).data.size(), 512u);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(CommandProcessorTest, DataPhaseOfTheWrongSizeIsDroppedAndRecorded) {
    Exchange(player(), Packet(NAND_WRITE_PAGE, NAND, 0x40, {0, 0, 528, 0}), 0);
    player().HandleBulkOut(std::vector<std::uint8_t>(600, 0x00));
    EXPECT_EQ(Medium().Page(0)[0], 0xFF);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::DATA_PHASE_SIZE);
    // The player takes the next write as a packet again.
    EXPECT_TRUE(Exchange(player(), Packet(CMD_GET_POWER_STATUS, DEVICE, 0, {}), 64).answered);
}

TEST_F(CommandProcessorTest, RefusedWriteSwallowsItsDataAndRecordsOneError) {
    Exchange(player(),
             Packet(NAND_WRITE_PAGE, NAND, 0x40, {Low24(1024 * 32 * 512), High8(1024 * 32 * 512), 528, 0}),
             0);
    player().HandleBulkOut(std::vector<std::uint8_t>(528, 0x00));
    Exchange(player(), Packet(MMC_WRITE_BLOCK, MMC, 0x40, {0, 3, 0}), 0);
    player().HandleBulkOut(std::vector<std::uint8_t>(512, 0x00));
    ASSERT_EQ(Errors().size(), 2u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::OUT_OF_RANGE);
    EXPECT_EQ(Errors()[1].kind, ProtocolErrorKind::BAD_FIELD);
    EXPECT_EQ(player().Hardware().Card()->Sector(0)[0], 0);
}

TEST_F(CommandProcessorTest, RefusedWriteOfAbsurdLengthTakesTheNextWriteAsAPacket) {
    Exchange(player(),
             Packet(NAND_WRITE_PAGES, NAND, 0x40, {0, 0, 528, 100000, testing::Units(100000 * 528), 0}), 0);
    EXPECT_TRUE(Exchange(player(), Packet(CMD_GET_POWER_STATUS, DEVICE, 0, {}), 64).answered);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::OUT_OF_RANGE);
}

TEST_F(CommandProcessorTest, UnreadReplyIsDiscardedByTheNextPacket) {
    player().HandleBulkOut(Packet(CMD_GET_POWER_STATUS, DEVICE, 0, {}));
    BulkInResult reply = Exchange(player(), Packet(CMD_GET_CHIP_ID, DEVICE, 0, {}), 64);
    EXPECT_EQ(reply.data[2], 0x82);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::REPLY_DISCARDED);
}

TEST_F(CommandProcessorTest, CardCommandsWithoutACard) {
    player().Hardware().RemoveCard();
    EXPECT_EQ(Exchange(player(), Packet(MMC_READ_CID, MMC, 0x80, {0}), 64).data[0], CARD_STATUS_NO_CARD);
    EXPECT_EQ(Exchange(player(), ProgramCsdPacket(0), 64).data[0], CARD_STATUS_NO_CARD);
    EXPECT_EQ(Exchange(player(), Packet(MMC_ERASE, MMC, 0x40, {0, 0, 0, 0, 0}), 64).data[0],
              CARD_STATUS_NO_CARD);
    EXPECT_TRUE(Errors().empty());
    EXPECT_FALSE(Exchange(player(), Packet(MMC_READ_BLOCK, MMC, 0x80, {0, 0, 0}), 512).answered);
    EXPECT_EQ(Errors()[0].kind, ProtocolErrorKind::NO_MEDIUM);
}

TEST_F(CommandProcessorTest, PowerStatusAndChipIdFollowTheSettings) {
    PlayerSettings settings;
    settings.batteryLow = true;
    settings.variant = ChipVariant::VARIANT_8200;
    Start(settings, {});
    EXPECT_NE(ReadWord(Exchange(player(), Packet(CMD_GET_POWER_STATUS, DEVICE, 0, {}), 64).data, 0), 0u);
    EXPECT_EQ(ReadLittleEndian(Exchange(player(), Packet(CMD_GET_CHIP_ID, DEVICE, 0, {}), 64).data, 1, 2),
              0x8200u);
    EXPECT_EQ(player().NormalModeIds().productId, 0x0C07);
    EXPECT_EQ(player().NormalModeIds().vendorId, 0x3A6E);
    EXPECT_EQ(RecoveryModeUsbIds(ChipVariant::VARIANT_8210).vendorId, 0x2F4D);
    EXPECT_EQ(RecoveryModeUsbIds(ChipVariant::VARIANT_8210).productId, 0x8210);
    EXPECT_EQ(player().InterfaceSubclass(), SUBCLASS_DCC_RUNNING);
}

}  // namespace
}  // namespace player
