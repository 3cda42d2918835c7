// The card commands against a player with a card, through the bench link: the packets the player
// receives, the card's status bytes, the erase-group arithmetic of the erases, and the card volume
// byte by byte and as fsck.fat judges it.
#include <gtest/gtest.h>

#include "library/tests/host_tools.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "library/VxMp3.h"
#include "library/media_state_testing.h"
#include "machine/bench_link/bench_link.h"
#include "platform/base/endian.h"
#include "platform/platform.h"
#include "player/command_processor.h"
#include "player/tests/test_support.h"

namespace {

using win::UCHAR;
using win::ULONG;
using win::USHORT;
using Bytes = std::vector<std::uint8_t>;

constexpr ULONG kSector = 512;

// The normal-mode firmware, with every command packet (not the data that follows) kept in order.
class RecordingFirmware : public player::Firmware {
  public:
    RecordingFirmware(player::PlayerHardware& hardware, std::vector<Bytes>& packets)
        : processor_(hardware), packets_(packets) {}

    player::nanoseconds HandleBulkOut(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() < kSector) {
            packets_.emplace_back(bytes.begin(), bytes.end());
        }
        return processor_.HandleBulkOut(bytes);
    }
    player::BulkInReply HandleBulkIn(std::size_t maxLength) override {
        return processor_.HandleBulkIn(maxLength);
    }
    void HandleReset() override { processor_.HandleReset(); }

  private:
    player::CommandProcessor processor_;
    std::vector<Bytes>& packets_;
};

// A card packet as the player saw it: opcode and the sector addresses it carries.
struct CardPacket {
    UCHAR opcode;
    ULONG firstSector;
    ULONG lastSector;  // MMC_ERASE only
    bool operator==(const CardPacket&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CardPacket& packet) {
    return out << "{op " << int{packet.opcode} << ", " << packet.firstSector << ", " << packet.lastSector
               << "}";
}

struct CardSetup {
    ULONG sectors = 61440;
    UCHAR eraseGroup = 32;
    bool inserted = true;
    // A pattern in the leading sectors shows which ones the library cleared.
    bool patterned = true;
};

class CardTest : public ::testing::Test {
  protected:
    void Start(CardSetup setup = {}) {
        scope_ = std::make_unique<platform::ProcessScope>(machine_, "tool");
        std::string error;
        auto medium = player::NandMedium::Create(folder_.File("medium.nand"),
                                                 *media_format::GeometryOfFlashSizeIndex(1), {}, error);
        ASSERT_TRUE(medium) << error;
        auto card = player::MemoryCard::Create(CardPath(), setup.sectors, error);
        ASSERT_TRUE(card) << error;
        card->Registers().eraseGroupSectors = setup.eraseGroup;
        card->Registers().property = 0x5C;
        card->Registers().status = 0x0900;
        card->Registers().cid.fill(0xC1);
        card->Registers().csd.fill(0xD5);
        Bytes pattern(kSector, 0xA5);
        for (ULONG sector = 0; setup.patterned && sector < std::min<ULONG>(setup.sectors, 300); ++sector) {
            card->WriteSector(sector, std::span<const std::uint8_t, kSector>(pattern.data(), kSector));
        }
        player::PlayerSettings settings;
        settings.dccRunning = true;
        player_ = std::make_unique<player::Player>(std::move(settings), player::PlayerOptions{},
                                                   std::move(medium), std::move(card));
        if (!setup.inserted) {
            player_->Hardware().RemoveCard();
        }
        player_->SetFirmware(std::make_unique<RecordingFirmware>(player_->Hardware(), packets_));
        ASSERT_TRUE(machine::BenchLink::Install(machine_.Kern()));
        ASSERT_EQ(machine::BenchLink::Attach(machine_.Kern(), *player_), 0u);
        ASSERT_EQ(VxMp3OpenDriver(DEVICE_STATUS_NORMAL), 1);
        packets_.clear();
    }

    void TearDown() override {
        if (scope_) {
            VxMp3CloseDriver();
            scope_.reset();
        }
        vxmp3::testing::UseSlotTable({});
        machine_.Kern().Shutdown();
        EXPECT_EQ(machine_.Kern().LastBugcheck(), "");
    }

    std::string CardPath() const { return folder_.File("card.img"); }

    // The card packets received since the channel opened.
    std::vector<CardPacket> CardPackets() const {
        std::vector<CardPacket> result;
        for (const auto& packet : packets_) {
            if (packet.size() < 6 || packet[1] != 2) {
                continue;
            }
            ULONG first = packet.size() >= 10 ? platform::LoadLe32(&packet[6]) / kSector : 0;
            ULONG last = packet[0] == 0x0A ? platform::LoadLe32(&packet[12]) / kSector : 0;
            result.push_back({packet[0], first, last});
        }
        return result;
    }

    // Sectors as the card file holds them.
    Bytes ReadCardFile(ULONG firstSector, ULONG count) const {
        std::ifstream file(CardPath(), std::ios::binary);
        file.seekg(std::streamoff{firstSector} * kSector);
        Bytes bytes(std::size_t{count} * kSector);
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(file) << "sectors " << firstSector << ".." << firstSector + count - 1;
        return bytes;
    }

    player::testing::TempFolder folder_;
    platform::Platform machine_{platform::PlatformConfig::Of(platform::OsFlavour::WinXp)};
    std::unique_ptr<player::Player> player_;
    std::vector<Bytes> packets_;
    std::unique_ptr<platform::ProcessScope> scope_;
};

constexpr UCHAR MMC_DETECT = 0x00;
constexpr UCHAR MMC_WRITE_BLOCK = 0x08;
constexpr UCHAR MMC_ERASE = 0x0A;

// ---- Card commands ----

TEST_F(CardTest, DetectReportsCapacityPropertyAndEraseGroup) {
    Start({.sectors = 61440, .eraseGroup = 48});
    ULONG sectors = 0;
    UCHAR status = 0xEE;
    UCHAR property = 0;
    UCHAR eraseGroup = 0;
    EXPECT_EQ(VxMp3MMCDetectMedia(0, &sectors, &status, &property, &eraseGroup), 1);
    EXPECT_EQ(sectors, 61440u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(property, 0x5C);
    EXPECT_EQ(eraseGroup, 48);
    // With every output absent the card still answers.
    EXPECT_EQ(VxMp3MMCDetectMedia(0, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(packets_.size(), 2u);
    EXPECT_EQ(packets_[0], (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(CardTest, RegistersAreReadAndProgrammed) {
    Start();
    USHORT cardStatus = 0;
    EXPECT_EQ(VxMp3MMCReadStatus(0, &cardStatus), 1);
    EXPECT_EQ(cardStatus, 0x0900);
    _MMC_CID cid{};
    UCHAR status = 0xEE;
    EXPECT_EQ(VxMp3MMCReadCID(0, &cid, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Bytes(std::begin(cid.bytes), std::end(cid.bytes)), Bytes(18, 0xC1));
    ULONG ocr = 0;
    EXPECT_EQ(VxMp3MMCReadOCR(0, &ocr, nullptr), 1);
    EXPECT_EQ(ocr, 0x80FF8000u);

    _MMC_CSD csd{};
    for (UCHAR i = 0; i < 16; ++i) {
        csd.bytes[i] = static_cast<UCHAR>(0x10 + i);
    }
    EXPECT_EQ(VxMp3MMCProgramCSD(0, &csd, &status), 1);
    EXPECT_EQ(player_->Hardware().Card()->Registers().csd[15], 0x1F);
    _MMC_CSD readBack{};
    EXPECT_EQ(VxMp3MMCReadCSD(0, &readBack, nullptr), 1);
    EXPECT_EQ(Bytes(std::begin(readBack.bytes), std::end(readBack.bytes)),
              Bytes(std::begin(csd.bytes), std::end(csd.bytes)));
    EXPECT_EQ(VxMp3MMCProgramCSD(0, nullptr, &status), 0);
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

TEST_F(CardTest, BlocksAreWrittenAndReadBack) {
    Start();
    Bytes data(3 * kSector);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i / kSector + 1);
    }
    EXPECT_EQ(VxMp3MMCWriteBlock(0, 100, data.data()), 1);
    EXPECT_EQ(VxMp3MMCWriteMultipleBlock(0, 200, 3, data.data()), 1);
    EXPECT_EQ(ReadCardFile(100, 1), Bytes(kSector, 1));
    EXPECT_EQ(ReadCardFile(200, 3), data);

    Bytes one(kSector);
    EXPECT_EQ(VxMp3MMCReadBlock(0, 201, one.data()), 1);
    EXPECT_EQ(one, Bytes(kSector, 2));
    Bytes three(3 * kSector);
    EXPECT_EQ(VxMp3MMCReadMultipleBlock(0, 200, 3, three.data()), 1);
    EXPECT_EQ(three, data);
    EXPECT_EQ(CardPackets(),
              (std::vector<CardPacket>{{0x08, 100, 0}, {0x09, 200, 0}, {0x06, 201, 0}, {0x07, 200, 0}}));
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

TEST_F(CardTest, EmptyAndUnusableRequestsSendNothing) {
    Start();
    Bytes data(kSector);
    UCHAR status = 0xEE;
    EXPECT_EQ(VxMp3MMCErase(0, 5, 0, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(VxMp3MMCReadMultipleBlock(0, 5, 0, nullptr), 1);
    EXPECT_EQ(VxMp3MMCWriteMultipleBlock(0, 5, 0, nullptr), 1);
    EXPECT_EQ(VxMp3MMCReadBlock(0, 5, nullptr), 0);
    EXPECT_EQ(VxMp3MMCWriteBlock(0, 5, nullptr), 0);
    EXPECT_EQ(VxMp3MMCReadMultipleBlock(0, 5, 2, nullptr), 0);
    // Sector 0x800000 and beyond has no 32-bit byte address: it would wrap to the card's start.
    EXPECT_EQ(VxMp3MMCWriteBlock(0, 0x800000, data.data()), 0);
    EXPECT_EQ(VxMp3MMCReadBlock(0, 0x800000, data.data()), 0);
    EXPECT_EQ(VxMp3MMCErase(0, 0x7FFFFF, 2, &status), 0);
    EXPECT_EQ(VxMp3MMCErase(0, 0xFFFFFFFF, 2, &status), 0);
    EXPECT_TRUE(packets_.empty());
}

TEST_F(CardTest, EraseSendsFirstAndLastSector) {
    Start();
    UCHAR status = 0xEE;
    EXPECT_EQ(VxMp3MMCErase(0, 10, 3, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CardPackets(), (std::vector<CardPacket>{{MMC_ERASE, 10, 12}}));
    EXPECT_EQ(ReadCardFile(10, 3), Bytes(3 * kSector, 0));
    EXPECT_EQ(ReadCardFile(13, 1), Bytes(kSector, 0xA5));
}

// ---- Card status bytes ----

struct StatusCase {
    const char* name;
    bool inserted;
    int (*call)(UCHAR* status);
    UCHAR expectedStatus;
};

class CardStatus : public CardTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(CardStatus, NonzeroStatusFailsAndIsHandedOver) {
    Start({.inserted = GetParam().inserted});
    UCHAR status = 0xEE;
    EXPECT_EQ(GetParam().call(&status), 0);
    EXPECT_EQ(status, GetParam().expectedStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardStatus,
    ::testing::Values(
        StatusCase{"DetectWithoutCard", false,
                   [](UCHAR* status) { return VxMp3MMCDetectMedia(0, nullptr, status, nullptr, nullptr); },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"CidWithoutCard", false,
                   [](UCHAR* status) {
                       _MMC_CID cid{};
                       return VxMp3MMCReadCID(0, &cid, status);
                   },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"OcrWithoutCard", false,
                   [](UCHAR* status) {
                       ULONG ocr = 0;
                       return VxMp3MMCReadOCR(0, &ocr, status);
                   },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"CsdWithoutCard", false,
                   [](UCHAR* status) {
                       _MMC_CSD csd{};
                       return VxMp3MMCReadCSD(0, &csd, status);
                   },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"ProgramCsdWithoutCard", false,
                   [](UCHAR* status) {
                       _MMC_CSD csd{};
                       return VxMp3MMCProgramCSD(0, &csd, status);
                   },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"EraseWithoutCard", false, [](UCHAR* status) { return VxMp3MMCErase(0, 0, 32, status); },
                   player::CARD_STATUS_NO_CARD},
        StatusCase{"ErasePastTheEnd", true, [](UCHAR* status) { return VxMp3MMCErase(0, 61430, 32, status); },
                   player::CARD_STATUS_ADDRESS_ERROR},
        StatusCase{"OtherSlot", true,
                   [](UCHAR* status) { return VxMp3MMCDetectMedia(1, nullptr, status, nullptr, nullptr); },
                   player::CARD_STATUS_NO_CARD}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CardTest, DetectWithoutCardReportsNothingAndTheDefaultGroup) {
    Start({.inserted = false});
    ULONG sectors = 7;
    UCHAR property = 7;
    UCHAR eraseGroup = 7;
    EXPECT_EQ(VxMp3MMCDetectMedia(0, &sectors, nullptr, &property, &eraseGroup), 0);
    EXPECT_EQ(sectors, 0u);
    EXPECT_EQ(property, 0);
    EXPECT_EQ(eraseGroup, 32);
}

// ---- Erasing ----

struct EraseCase {
    const char* name;
    ULONG cardSectors;
    UCHAR eraseGroup;
    bool wholeCard;
    std::vector<CardPacket> erased;  // MMC_ERASE packets after the MMC_DETECT
    ULONG firstZeroWritten;
    ULONG zeroWrites;
};

class CardErase : public CardTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(CardErase, ErasesWholeGroupsAndZeroFillsTheRest) {
    const EraseCase& c = GetParam();
    Start({.sectors = c.cardSectors, .eraseGroup = c.eraseGroup});
    double progress = 12.0;
    int result = c.wholeCard ? VxMp3MMCEraseAllBlocks(0, c.cardSectors, &progress)
                             : VxMp3MMCEraseFileSystemSectors(0, c.cardSectors, &progress);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(progress, 100.0);

    std::vector<CardPacket> expected{{MMC_DETECT, 0, 0}};
    expected.insert(expected.end(), c.erased.begin(), c.erased.end());
    for (ULONG i = 0; i < c.zeroWrites; ++i) {
        expected.push_back({MMC_WRITE_BLOCK, c.firstZeroWritten + i, 0});
    }
    EXPECT_EQ(CardPackets(), expected);
    ULONG cleared = c.firstZeroWritten + c.zeroWrites;
    EXPECT_EQ(ReadCardFile(0, cleared), Bytes(std::size_t{cleared} * kSector, 0));
    if (cleared < c.cardSectors) {
        EXPECT_EQ(ReadCardFile(cleared, 1), Bytes(kSector, 0xA5));
    }
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardErase,
    ::testing::Values(
        // 32 MB: the file-system area is 64 sectors.
        EraseCase{"Card32MbGroup32", 65536, 32, false, {{MMC_ERASE, 0, 31}, {MMC_ERASE, 32, 63}}, 64, 0},
        EraseCase{"Card32MbGroup48", 65536, 48, false, {{MMC_ERASE, 0, 47}}, 48, 16},
        EraseCase{"Card32MbGroupUnknown", 65536, 0, false, {}, 0, 64},
        EraseCase{"Card1MbClears32", 2048, 32, false, {{MMC_ERASE, 0, 31}}, 32, 0},
        EraseCase{"Card3MbClears48", 6144, 32, false, {{MMC_ERASE, 0, 31}}, 32, 16},
        EraseCase{"Card48MbClears96",
                  98304,
                  32,
                  false,
                  {{MMC_ERASE, 0, 31}, {MMC_ERASE, 32, 63}, {MMC_ERASE, 64, 95}},
                  96,
                  0},
        // Smaller than its file-system area: cleared only as far as the card reaches.
        EraseCase{"TinyCard", 40, 32, false, {{MMC_ERASE, 0, 31}}, 32, 8},
        EraseCase{"WholeCard",
                  100,
                  32,
                  true,
                  {{MMC_ERASE, 0, 31}, {MMC_ERASE, 32, 63}, {MMC_ERASE, 64, 95}},
                  96,
                  4}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CardTest, EraseStopsAtTheFirstRefusedGroup) {
    Start({.sectors = 100, .eraseGroup = 32});
    double progress = 0.0;
    // The card has 100 sectors, the caller claims 200: the group at sector 96 runs past the end.
    EXPECT_EQ(VxMp3MMCEraseAllBlocks(0, 200, &progress), 0);
    EXPECT_EQ(progress, 100.0);
    auto packets = CardPackets();
    ASSERT_EQ(packets.size(), 5u);
    EXPECT_EQ(packets.back(), (CardPacket{MMC_ERASE, 96, 127}));
}

// ---- The card volume ----

struct VolumeCase {
    const char* name;
    ULONG sectors;
    bool fat16;
    ULONG fatSectors;
};

// The expected boot sector and master boot record, from the layout of the card volume.
Bytes ExpectedMasterBootRecord(const VolumeCase& c) {
    Bytes sector(kSector, 0);
    sector[446] = 0x80;
    sector[450] = c.fat16 ? 0x06 : 0x01;
    platform::StoreLe32(&sector[454], 1);
    platform::StoreLe32(&sector[458], c.sectors - 1);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

Bytes ExpectedBootSector(const VolumeCase& c) {
    ULONG n = c.sectors - 1;
    Bytes sector(kSector, 0);
    sector[0] = 0xEB;
    sector[1] = 0x00;
    sector[2] = 0x90;
    std::fill(&sector[3], &sector[11], ' ');
    platform::StoreLe16(&sector[11], 512);
    sector[13] = 32;
    platform::StoreLe16(&sector[14], 1);
    sector[16] = 2;
    platform::StoreLe16(&sector[17], 256);
    platform::StoreLe16(&sector[19], n < 65536 ? static_cast<std::uint16_t>(n) : 0);
    sector[21] = 0xF8;
    platform::StoreLe16(&sector[22], static_cast<std::uint16_t>(c.fatSectors));
    platform::StoreLe16(&sector[24], 1);
    platform::StoreLe16(&sector[26], 1);
    platform::StoreLe32(&sector[28], 1);
    platform::StoreLe32(&sector[32], n >= 65536 ? n : 0);
    sector[38] = 0x29;
    std::fill(&sector[43], &sector[54], ' ');
    std::string type = c.fat16 ? "FAT16   " : "FAT12   ";
    std::copy(type.begin(), type.end(), &sector[54]);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

Bytes ExpectedFatHead(const VolumeCase& c) {
    Bytes sector(kSector, 0);
    sector[0] = 0xF8;
    sector[1] = 0xFF;
    sector[2] = 0xFF;
    sector[3] = c.fat16 ? 0xFF : 0x00;
    return sector;
}

// The partition (sector 1 on) copied out of the card file; zero sectors are left as holes.
std::string ExtractPartition(const std::string& cardPath, const std::string& partitionPath) {
    std::ifstream card(cardPath, std::ios::binary);
    std::ofstream partition(partitionPath, std::ios::binary | std::ios::trunc);
    card.seekg(kSector);
    Bytes sector(kSector);
    std::uintmax_t size = 0;
    while (card.read(reinterpret_cast<char*>(sector.data()), kSector)) {
        if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t byte) { return byte != 0; })) {
            partition.seekp(static_cast<std::streamoff>(size));
            partition.write(reinterpret_cast<const char*>(sector.data()), kSector);
        }
        size += kSector;
    }
    partition.close();
    std::filesystem::resize_file(partitionPath, size);
    return partitionPath;
}

class CardVolume : public CardTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(CardVolume, IsWrittenSectorBySector) {
    const VolumeCase& c = GetParam();
    Start({.sectors = c.sectors});
    double progress = 3.0;
    ASSERT_EQ(VxMp3MMCFormat(0, c.sectors, &progress), 1);
    EXPECT_EQ(progress, 100.0);

    ULONG fat = c.fatSectors;
    EXPECT_EQ(ReadCardFile(0, 1), ExpectedMasterBootRecord(c));
    EXPECT_EQ(ReadCardFile(1, 1), ExpectedBootSector(c));
    EXPECT_EQ(ReadCardFile(2, 1), ExpectedFatHead(c));
    EXPECT_EQ(ReadCardFile(3, fat - 1), Bytes(std::size_t{fat - 1} * kSector, 0));
    EXPECT_EQ(ReadCardFile(fat + 2, 1), ExpectedFatHead(c));
    EXPECT_EQ(ReadCardFile(fat + 3, fat - 1), Bytes(std::size_t{fat - 1} * kSector, 0));
    EXPECT_EQ(ReadCardFile(2 * fat + 2, 16), Bytes(16 * kSector, 0));
    // The data area is left alone.
    EXPECT_EQ(ReadCardFile(2 * fat + 18, 1), Bytes(kSector, 0xA5));
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

TEST_P(CardVolume, IsAcceptedByFsckFat) {
    const VolumeCase& c = GetParam();
    Start({.sectors = c.sectors, .patterned = false});
    ASSERT_EQ(VxMp3MMCFormat(0, c.sectors, nullptr), 1);
    std::string partition = ExtractPartition(CardPath(), folder_.File("partition.img"));
    vxmp3::testing::ExpectFsckAccepts(partition, " 0 files, 0/", folder_.File("fsck.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CardVolume,
    ::testing::Values(VolumeCase{"Card30Mb", 61440, false, 6},
                      VolumeCase{"Card1000000Sectors", 1000000, true, 123},
                      // The two FAT entries before the first cluster need a fourth FAT sector here.
                      VolumeCase{"Card16Mb", 32768, false, 4}, VolumeCase{"Card32Mb", 65536, false, 7},
                      // 4095 clusters would be read as FAT16, so the volume is FAT16.
                      VolumeCase{"Card64Mb", 131072, true, 17}, VolumeCase{"Card4Mb", 8192, false, 1}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CardTest, FormatRefusesCardsWithoutAValidVolume) {
    Start({.sectors = 2048});
    double progress = 0.0;
    // No FAT width fits 130,761 .. 130,768 partition sectors; cards above 1 GB exceed FAT16; a
    // card of one sector holds no volume.
    for (ULONG sectors : {130762u, 130769u, 2200000u, 1u, 0u}) {
        EXPECT_EQ(VxMp3MMCFormat(0, sectors, &progress), 0) << sectors;
        EXPECT_EQ(progress, 100.0);
    }
    // A card smaller than the sectors the caller claims is not formatted either.
    EXPECT_EQ(VxMp3MMCFormat(0, 4096, &progress), 0);
    EXPECT_EQ(CardPackets(), (std::vector<CardPacket>{{MMC_DETECT, 0, 0}}));
    EXPECT_EQ(ReadCardFile(0, 1), Bytes(kSector, 0xA5));
}

TEST_F(CardTest, FormatWithoutCardFails) {
    Start({.inserted = false});
    EXPECT_EQ(VxMp3MMCFormat(0, 61440, nullptr), 0);
    EXPECT_EQ(CardPackets(), (std::vector<CardPacket>{{MMC_DETECT, 0, 0}}));
}

// ---- The card slot through the flash size query ----

struct SizeCase {
    const char* name;
    ULONG sectors;
    bool inserted;
    ULONG sizeIndex;
};

class CardSize : public CardTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(CardSize, FlashSizesOfACardSlot) {
    static constexpr std::array<vxmp3::MemoryDevice, 1> kCardSlot{{{vxmp3::MEMORY_DEVICE_MMC, 0}}};
    vxmp3::testing::UseSlotTable(kCardSlot);
    Start({.sectors = GetParam().sectors, .inserted = GetParam().inserted});
    ULONG sizeIndex = 0;
    ULONG failed = 7;
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_OK);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(sizeIndex, GetParam().sizeIndex);
    EXPECT_EQ(vxmp3::MediaStateOfSlot(0)->cardSectors, GetParam().inserted ? GetParam().sectors : 0);
    EXPECT_EQ(CardPackets(), (std::vector<CardPacket>{{MMC_DETECT, 0, 0}}));
}

INSTANTIATE_TEST_SUITE_P(Cases, CardSize,
                         ::testing::Values(SizeCase{"Card30Mb", 61440, true, 5},
                                           SizeCase{"Card488Mb", 1000000, true, 35},
                                           SizeCase{"NoCard", 61440, false, 36}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// The media exports on a card slot: no block table to build, and the quick format takes the card's
// path: its file-system sectors erased, its volume written, the medium marked changed.
TEST_F(CardTest, QuickFormatOfACardSlotWritesTheCardVolume) {
    static constexpr std::array<vxmp3::MemoryDevice, 1> kCardSlot{{{vxmp3::MEMORY_DEVICE_MMC, 0}}};
    vxmp3::testing::UseSlotTable(kCardSlot);
    Start({.sectors = 61440});
    ULONG sizes[1] = {0};
    ULONG failed = 0;
    ASSERT_EQ(VxMp3GetFlashSizes(&sizes[0], &failed), ACCESS_DEVICE_OK);
    ASSERT_EQ(sizes[0], 5u);
    _BinaryFilesInformation files{};
    EXPECT_EQ(VxMp3FatPrepareSupported(0), 0);
    EXPECT_EQ(VxMp3BuildBlockStatus(sizes, 0, 1, &files, nullptr), PROGRAM_MEDIA_OK);
    packets_.clear();
    ASSERT_EQ(VxMp3QuickFormatQorv(sizes, 0, 1, &files, nullptr), PROGRAM_MEDIA_OK);

    const VolumeCase volume{"Card30Mb", 61440, false, 6};
    EXPECT_EQ(ReadCardFile(0, 1), ExpectedMasterBootRecord(volume));
    EXPECT_EQ(ReadCardFile(1, 1), ExpectedBootSector(volume));
    EXPECT_EQ(ReadCardFile(2, 1), ExpectedFatHead(volume));
    auto sent = CardPackets();
    ASSERT_FALSE(sent.empty());
    auto opcodeAt = [&](UCHAR opcode) {
        return std::find_if(sent.begin(), sent.end(),
                            [&](const CardPacket& p) { return p.opcode == opcode; });
    };
    ASSERT_NE(opcodeAt(MMC_ERASE), sent.end());
    ASSERT_NE(opcodeAt(MMC_WRITE_BLOCK), sent.end());
    EXPECT_LT(opcodeAt(MMC_ERASE), opcodeAt(MMC_WRITE_BLOCK)) << "the file-system sectors are erased first";
    USER_DATA status{};
    ASSERT_EQ(VxMp3GetStatus(&status), 1);
    EXPECT_EQ(status.mediaChanged, 1u);
    std::string partition = ExtractPartition(CardPath(), folder_.File("partition.img"));
    vxmp3::testing::ExpectFsckAccepts(partition, " 0 files, 0/", folder_.File("fsck.txt"));
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

}  // namespace
