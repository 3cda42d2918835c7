#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_image/srecord.h"
#include "firmware_image/tests/srecord_text.h"

namespace firmware_image {
namespace {

using testing::Bytes;

struct Scan {
    std::vector<SRecord> records;
    ImageStatus status;
};

Scan ScanAll(const std::string& text, RecordSelection selection = RecordSelection::ALL) {
    SRecordScanner scanner(Bytes(text), selection);
    Scan scan;
    SRecord record;
    while (scanner.Next(record)) {
        scan.records.push_back(record);
    }
    scan.status = scanner.Status();
    EXPECT_FALSE(scanner.Next(record)) << "a scanner that has ended stays ended";
    return scan;
}

TEST(SRecordScannerTest, FindsRecordsAnywhereAndPassesOverEverythingElse) {
    const std::string text = "; comment\nS0030001FB\r\nS5030001FB\nxxS1060010112233830S9030000FC";
    const Scan scan = ScanAll(text);
    ASSERT_EQ(scan.status, ImageStatus::OK);
    ASSERT_EQ(scan.records.size(), 3u);
    EXPECT_EQ(scan.records[0].type, RecordType::S0);
    EXPECT_EQ(scan.records[0].address, 0x0001);
    EXPECT_TRUE(scan.records[0].Data().empty());
    EXPECT_EQ(scan.records[1].type, RecordType::S1);
    EXPECT_EQ(scan.records[1].offset, text.find("S106"));
    EXPECT_EQ(scan.records[1].address, 0x0010);
    EXPECT_EQ(std::vector<uint8_t>(scan.records[1].Data().begin(), scan.records[1].Data().end()),
              (std::vector<uint8_t>{0x11, 0x22, 0x33}));
    EXPECT_EQ(scan.records[2].type, RecordType::S9);
}

TEST(SRecordScannerTest, EveryFaultOfARecordFailsTheScan) {
    const struct {
        const char* name;
        std::string text;
        ImageStatus status;
        size_t recordsBefore;
    } cases[] = {
        {"wrong checksum", "S0030001FB\nS106001011223384\n", ImageStatus::BAD_CHECKSUM, 1},
        {"wrong checksum in S0", "S0030001FC\n", ImageStatus::BAD_CHECKSUM, 0},
        {"wrong checksum in S9", "S1060010112233839\nS9030000FD\n", ImageStatus::BAD_CHECKSUM, 1},
        {"lower-case digits", "S106001011223383\nS10600aa1122338b\n", ImageStatus::BAD_DIGIT, 1},
        {"blank inside a record", "S106 0010112233\n", ImageStatus::BAD_DIGIT, 0},
        {"length byte 2", "S1020000FD\n", ImageStatus::SHORT_RECORD, 0},
        {"length byte 0", "S900FF\n", ImageStatus::SHORT_RECORD, 0},
        {"runs past the end", "S1060010112233", ImageStatus::TRUNCATED_RECORD, 0},
        {"length byte beyond the text", "S1FF0010", ImageStatus::TRUNCATED_RECORD, 0},
        {"no length byte", "S1", ImageStatus::TRUNCATED_RECORD, 0},
        {"half a length byte", "S91", ImageStatus::TRUNCATED_RECORD, 0},
    };
    for (const auto& c : cases) {
        const Scan scan = ScanAll(c.text);
        EXPECT_EQ(scan.status, c.status) << c.name << ": " << ImageStatusName(scan.status);
        EXPECT_EQ(scan.records.size(), c.recordsBefore) << c.name;
    }
}

TEST(SRecordScannerTest, LongestRecordAndLoneLetters) {
    const std::string longest = testing::Record('1', 0xFFFF, std::vector<uint8_t>(kMaxRecordDataBytes, 0xA5));
    const Scan scan = ScanAll("S" + longest + "S");
    ASSERT_EQ(scan.status, ImageStatus::OK);
    ASSERT_EQ(scan.records.size(), 1u);
    EXPECT_EQ(scan.records[0].count, 0xFF);
    EXPECT_EQ(scan.records[0].Data().size(), kMaxRecordDataBytes);
    EXPECT_EQ(ScanAll("").status, ImageStatus::OK);
}

TEST(SRecordScannerTest, EndRecordsOnlyPassesOverOtherRecordsUnchecked) {
    const std::string text = "S1060010112233FF\nS10600aa\nS90B00000001000200030004EA\n";
    EXPECT_EQ(ScanAll(text).status, ImageStatus::BAD_CHECKSUM);
    const Scan scan = ScanAll(text, RecordSelection::S9_ONLY);
    ASSERT_EQ(scan.status, ImageStatus::OK);
    ASSERT_EQ(scan.records.size(), 1u);
    EXPECT_EQ(scan.records[0].type, RecordType::S9);
    EXPECT_EQ(ScanAll("S9030000FD", RecordSelection::S9_ONLY).status, ImageStatus::BAD_CHECKSUM);
}

}  // namespace
}  // namespace firmware_image
