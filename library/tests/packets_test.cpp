// The command packets byte for byte, the reply readers and the size-index tables.
#include <gtest/gtest.h>

#include <vector>

#include "library/packets.h"
#include "library/size_index.h"

namespace {

using namespace vxmp3;

std::vector<UCHAR> BytesOf(const Packet& packet) {
    return {packet.Bytes().begin(), packet.Bytes().end()};
}

struct HeaderCase {
    const char* name;
    Packet packet;
    std::vector<UCHAR> header;
    ULONG length;
};

class PacketHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(PacketHeaders, HeaderAndLength) {
    auto bytes = BytesOf(GetParam().packet);
    ASSERT_EQ(bytes.size(), GetParam().length);
    EXPECT_EQ(std::vector<UCHAR>(bytes.begin(), bytes.begin() + 3), GetParam().header);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PacketHeaders,
    ::testing::Values(
        HeaderCase{"GetParameters", DevicePacket(CMD_GET_PARAMETERS), {0x03, 0x00, 0x00}, 3},
        HeaderCase{"PowerStatus", DevicePacket(CMD_GET_POWER_STATUS), {0x0A, 0x00, 0x00}, 3},
        HeaderCase{"ReadPagesDcc0", NandReadPagesPacket(0, 1, 0, 0), {0x03, 0x01, 0x00}, 21},
        HeaderCase{"ReadPagesDcc256", NandReadPagesPacket(0, 1, 0, 256), {0x03, 0x01, 0x00}, 21},
        HeaderCase{"ReadPagesDcc257", NandReadPagesPacket(0, 1, 0, 257), {0x03, 0x01, 0x80}, 21},
        HeaderCase{"WritePage", NandWritePagePacket(0, 0, 258), {0x00, 0x01, 0x40}, 15},
        HeaderCase{"WritePages", NandWritePagesPacket(0, 2, 0, 258), {0x01, 0x01, 0x40}, 21},
        HeaderCase{"EraseBlock", NandEraseBlockPacket(0, 32, 0, 258), {0x04, 0x01, 0x40}, 15},
        HeaderCase{"ReadId", NandReadIdPacket(0, 258), {0x06, 0x01, 0x80}, 6},
        HeaderCase{"ReadIdOld", NandReadIdPacket(0, 256), {0x06, 0x01, 0x00}, 6},
        HeaderCase{"BlockStatus", NandReadBlockStatusPacket(0, 256, 32, 0, 258), {0x0C, 0x01, 0x80}, 24},
        HeaderCase{"Serial", NandReadSerialPacket(0, 258), {0x0D, 0x01, 0x00}, 6},
        HeaderCase{"MmcDetect", MmcPacket(MMC_DETECT, 0), {0x00, 0x02, 0x00}, 6},
        HeaderCase{"MmcReadCid", MmcPacket(MMC_READ_CID, 0), {0x02, 0x02, 0x80}, 6},
        HeaderCase{"MmcWriteBlockDcc0", MmcBlockPacket(MMC_WRITE_BLOCK, 0, 0), {0x08, 0x02, 0x40}, 12},
        HeaderCase{"MmcReadMultiple", MmcMultiplePacket(MMC_READ_MULTIPLE, 0, 0, 2), {0x07, 0x02, 0x80}, 15},
        HeaderCase{"MmcErase", MmcErasePacket(0, 0, 1), {0x0A, 0x02, 0x40}, 18}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Packets, ReadPagesCarriesAddressSplitUnitsAndSelector) {
    // 32 pages at byte address 0x12345600: low 24 bits, then the high 8 bits; 264 units.
    auto bytes = BytesOf(NandReadPagesPacket(0x12345600, 32, 0, 258));
    std::vector<UCHAR> expected{0x03, 0x01, 0x80, 0x00, 0x56, 0x34, 0x12, 0x00, 0x00, 0x10, 0x02,
                                0x00, 0x20, 0x00, 0x00, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(BytesOf(NandReadPagesPacket(0, 1, 0, 258))[15], 9);  // ceil(528 / 64)
}

TEST(Packets, BlockStatusOf256BlocksAsksFor24Units) {
    auto bytes = BytesOf(NandReadBlockStatusPacket(0x4000, 256, 32, 0, 258));
    EXPECT_EQ(bytes[12], 0x00);  // word 4 = 256
    EXPECT_EQ(bytes[13], 0x01);
    EXPECT_EQ(bytes[15], 0x00);  // word 5 = 16384 data bytes per block
    EXPECT_EQ(bytes[16], 0x40);
    EXPECT_EQ(bytes[18], 24);  // word 6 = ceil(1536 / 64)
    EXPECT_EQ(bytes[21], 0);   // word 7 = selector
}

TEST(Packets, MmcEraseAddressesFirstAndLastSector) {
    auto bytes = BytesOf(MmcErasePacket(1, 10, 3));
    EXPECT_EQ(bytes[3], 1);  // card selector
    EXPECT_EQ(ReplyLittleEndian(bytes, 6, 4), 10u * 512);
    EXPECT_EQ(ReplyLittleEndian(bytes, 12, 4), 12u * 512);
}

TEST(Packets, UnitCounts) {
    EXPECT_EQ(UnitCount(0), 0u);
    EXPECT_EQ(UnitCount(3), 1u);
    EXPECT_EQ(UnitCount(64), 1u);
    EXPECT_EQ(UnitCount(65), 2u);
    EXPECT_EQ(RoundUpToUnits(528), 576u);
    EXPECT_EQ(RoundUpToUnits(528 * 32), 16896u);
}

TEST(ParameterList, FirstEntryOfTypeInsideTheReply) {
    std::array<UCHAR, PARAMETER_LIST_BYTES> list{};
    list[0] = 3;
    list[3] = 2;  // type 2
    list[6] = 7;
    list[9] = 1;  // type 1, value 0x102
    list[12] = 0x02;
    list[13] = 0x01;
    list[15] = 1;  // a second type 1 is not taken
    list[18] = 9;
    ULONG value = 0;
    ASSERT_TRUE(FindParameter(list, PARAMETER_DCC_VERSION, &value));
    EXPECT_EQ(value, 0x102u);
    EXPECT_FALSE(FindParameter(list, PARAMETER_CAPABILITIES, &value));
}

TEST(ParameterList, ACountBeyondTheReplyReadsTenEntriesAtMost) {
    std::array<UCHAR, PARAMETER_LIST_BYTES> list{};
    list[0] = 0xFF;
    list[1] = 0xFF;       // 65535 entries claimed
    list[3 + 9 * 6] = 5;  // the tenth entry, type 5
    list[3 + 9 * 6 + 3] = 42;
    ULONG value = 0;
    ASSERT_TRUE(FindParameter(list, 5, &value));
    EXPECT_EQ(value, 42u);
    EXPECT_TRUE(FindParameter(list, 0, &value));  // zero bytes are entries of type 0
}

struct NandIdCase {
    UCHAR maker;
    UCHAR device;
    ULONG sizeIndex;
};

class NandIdSizes : public ::testing::TestWithParam<NandIdCase> {};

TEST_P(NandIdSizes, Maps) {
    EXPECT_EQ(SizeIndexOfNandId(GetParam().maker, GetParam().device), GetParam().sizeIndex);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, NandIdSizes,
    ::testing::Values(NandIdCase{0x98, 0xE6, 3}, NandIdCase{0x98, 0x73, 4}, NandIdCase{0x98, 0x75, 5},
                      NandIdCase{0xEC, 0x76, 7}, NandIdCase{0x98, 0x79, 11}, NandIdCase{0x98, 0x00, 36},
                      NandIdCase{0x98, 0x24, 36}, NandIdCase{0x00, 2, 3}, NandIdCase{0x00, 4, 4},
                      NandIdCase{0x00, 8, 5}, NandIdCase{0x00, 12, 6}, NandIdCase{0x00, 16, 7},
                      NandIdCase{0x00, 36, 12}, NandIdCase{0x00, 128, 35}, NandIdCase{0x00, 6, 36},
                      NandIdCase{0x00, 1, 36}, NandIdCase{0x00, 0, 36}, NandIdCase{0x00, 132, 36},
                      NandIdCase{0x00, 255, 36}));

struct CardCase {
    ULONG sectors;
    ULONG sizeIndex;
};

class CardSizes : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardSizes, Maps) {
    EXPECT_EQ(SizeIndexOfCardCapacity(GetParam().sectors), GetParam().sizeIndex);
}

INSTANTIATE_TEST_SUITE_P(Capacities, CardSizes,
                         ::testing::Values(CardCase{2048, 0}, CardCase{4096, 1}, CardCase{6144, 2},
                                           CardCase{8192, 2}, CardCase{16384, 3}, CardCase{32768, 4},
                                           CardCase{61440, 5}, CardCase{131072, 7}, CardCase{262144, 11},
                                           CardCase{524288, 19}, CardCase{1000000, 35}, CardCase{1048576, 35},
                                           CardCase{1050624, 36}, CardCase{8390656, 36}));

}  // namespace
