// Volumes of the quick format judged by tools that are not ours: the partition of the logical disk
// (read as the disk driver reads it) must pass dosfstools' fsck.fat, and mtools must copy files in
// and out of it byte for byte.
#include <gtest/gtest.h>

#include "library/tests/host_tools.h"

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "library/tests/format_fixture.h"
#include "platform/base/endian.h"

namespace {

using vxmp3_test::FormatScenario;
using vxmp3_test::Sized;

constexpr std::uint32_t kSector = 512;

using vxmp3::testing::CommandResult;
using vxmp3::testing::RunCommand;

std::string Tool(const char* name) { return vxmp3::testing::HostTool(name); }

std::vector<char> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct InteropCase {
    std::uint32_t megabytes;
    win::ULONG reservedKiloBytes;
};

class FormattedVolume : public FormatScenario, public ::testing::WithParamInterface<InteropCase> {
  protected:
    // The partition of the logical disk as an image file. Only the sectors of the logical blocks
    // that the format mapped are read; every other sector of the disk is unmapped (checked), and
    // the file leaves them as a hole rather than copying a whole medium.
    std::string PartitionImage(const media_format::MediumReader& reader) {
        std::vector<std::uint8_t> mbr(kSector);
        EXPECT_EQ(reader.ReadSector(0, std::span<std::uint8_t, kSector>(mbr.data(), kSector)),
                  media_format::SectorRead::kGood);
        std::uint32_t first = platform::LoadLe32(mbr.data() + 454);
        std::uint32_t sectors = platform::LoadLe32(mbr.data() + 458);
        EXPECT_LE(first + sectors, reader.DiskSectors());
        const std::uint32_t pagesPerBlock = reader.geometry().pagesPerBlock;
        const std::uint32_t mapped = reader.Summary().mappedLogicalBlocks;
        for (std::uint32_t logical = 0; logical < mapped; ++logical) {
            EXPECT_TRUE(reader.PhysicalBlockOfLogicalBlock(logical)) << logical;
        }
        std::uint32_t written = mapped * pagesPerBlock - first;
        std::vector<std::uint8_t> start(std::size_t{written} * kSector);
        auto report = reader.ReadSectors(first, written, start);
        EXPECT_TRUE(report && report->AllReadable());
        std::string path = folder_.File("partition.img");
        {
            std::ofstream image(path, std::ios::binary);
            image.write(reinterpret_cast<const char*>(start.data()),
                        static_cast<std::streamsize>(start.size()));
        }
        std::filesystem::resize_file(path, std::uint64_t{sectors} * kSector);
        return path;
    }

    // The format writes no volume label (bytes 43..53 of the boot sector stay zero; the tools
    // set the label through the system afterwards). fsck.fat 4.2 would rather remove such a label
    // and says so, with exit status 1 under -n; that remark is the only one allowed.
    void ExpectFsckAccepts(const std::string& image, const std::string& summary) {
        vxmp3::testing::ExpectFsckAccepts(image, summary, folder_.File("fsck.txt"));
    }
};

TEST_P(FormattedVolume, PassesFsckAndCopiesFilesInAndOut) {
    ASSERT_FALSE(Tool("fsck.fat").empty()) << "dosfstools is not installed";
    ASSERT_FALSE(Tool("mcopy").empty()) << "mtools is not installed";
    Boot(Sized(GetParam().megabytes), GetParam().reservedKiloBytes);
    Open();
    ASSERT_EQ(Scan(), PROGRAM_MEDIA_OK);
    ASSERT_EQ(QuickFormat(), PROGRAM_MEDIA_OK);
    auto reader = Reader();
    ASSERT_TRUE(reader);
    std::string image = PartitionImage(*reader);
    ExpectFsckAccepts(image, " 0 files, 0/");

    // A one-byte file, one of several clusters and one across a cluster edge.
    std::mt19937 random(GetParam().megabytes);
    std::vector<std::pair<std::string, std::size_t>> files{
        {"ONE.TXT", 1}, {"SONG.MP3", 70000}, {"EDGE.BIN", 16385}};
    for (const auto& [name, size] : files) {
        std::vector<char> bytes(size);
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        std::ofstream(folder_.File(name), std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(size));
        CommandResult in = RunCommand(
            "MTOOLS_NO_VFAT=1 " + Tool("mcopy") + " -i " + image + " " + folder_.File(name) + " ::" + name,
            folder_.File("mcopy.txt"));
        ASSERT_EQ(in.status, 0) << in.output;
    }
    for (const auto& [name, size] : files) {
        std::string back = folder_.File("back-" + name);
        CommandResult out =
            RunCommand(Tool("mcopy") + " -i " + image + " ::" + name + " " + back, folder_.File("mcopy.txt"));
        ASSERT_EQ(out.status, 0) << out.output;
        EXPECT_EQ(FileBytes(back), FileBytes(folder_.File(name))) << name;
    }
    CommandResult listing = RunCommand(Tool("mdir") + " -i " + image + " ::", folder_.File("mdir.txt"));
    EXPECT_EQ(listing.status, 0) << listing.output;
    EXPECT_NE(listing.output.find("3 files"), std::string::npos) << listing.output;
    ExpectFsckAccepts(image, " 3 files, ");
}

INSTANTIATE_TEST_SUITE_P(Sizes, FormattedVolume,
                         ::testing::Values(InteropCase{8, 0}, InteropCase{8, 1024}, InteropCase{64, 0},
                                           InteropCase{64, 1024}, InteropCase{128, 0}, InteropCase{128, 1024},
                                           InteropCase{512, 0}, InteropCase{512, 1024}),
                         [](const auto& testCase) {
                             return std::to_string(testCase.param.megabytes) + "MB_Reserve" +
                                    std::to_string(testCase.param.reservedKiloBytes) + "KB";
                         });

}  // namespace
