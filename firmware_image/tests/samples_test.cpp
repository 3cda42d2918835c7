// The built sample firmware set: every file the example configuration names is there, reads its
// version, and builds the images its users need.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "firmware_image/image.h"
#include "firmware_image/samples/sample_folder.h"
#include "firmware_image/sealing.h"
#include "firmware_image/tests/file_helpers.h"

namespace firmware_image {
namespace {

struct ConfiguredFile {
    std::string variant;
    int number;
    std::string name;
    uint32_t formatType;
};

struct ConfiguredVariant {
    std::vector<ConfiguredFile> files;
    int recoveryFileNumber = 0;
};

// The chip-variant subkeys of the example configuration: file names, format types, recovery file.
std::map<std::string, ConfiguredVariant> ReadExampleConfiguration() {
    std::ifstream in(RPX_DEFAULT_CONFIGURATION);
    EXPECT_TRUE(in) << RPX_DEFAULT_CONFIGURATION;
    const std::regex subkey(R"(^\[.*\\Params\\(8200|8210)\]$)");
    const std::regex name(R"re(^"File(\d+)_Name"="(.*)"$)re");
    const std::regex formatType(R"re(^"File(\d+)_FormatType"=dword:([0-9a-fA-F]{8})$)re");
    const std::regex recovery(R"re(^"RecoveryFileNumber"=dword:([0-9a-fA-F]{8})$)re");
    std::map<std::string, ConfiguredVariant> variants;
    std::string variant;
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_match(line, match, subkey)) {
            variant = match[1];
        } else if (!variant.empty() && std::regex_match(line, match, name)) {
            variants[variant].files.push_back({variant, std::stoi(match[1]), match[2], 0});
        } else if (!variant.empty() && std::regex_match(line, match, formatType)) {
            variants[variant].files.at(std::stoul(match[1]) - 1).formatType =
                static_cast<uint32_t>(std::stoul(match[2], nullptr, 16));
        } else if (!variant.empty() && std::regex_match(line, match, recovery)) {
            variants[variant].recoveryFileNumber = std::stoi(match[1], nullptr, 16);
        }
    }
    return variants;
}

TEST(SampleSetTest, EveryConfiguredFileIsThereAndBuilds) {
    // The versions the sample rules give each file.
    const std::map<std::string, FirmwareVersion> versions{
        {"Booty.s", {{1, 2, 0, 3}}},      {"Qorvsys.s", {{2, 10, 0, 7}}},
        {"dcc.s", {{1, 4, 0, 1}}},        {"resource.bin", {{1, 0, 0, 2}}},
        {"Booty_8210.s", {{1, 3, 0, 1}}}, {"Qorvsys_8210.s", {{2, 20, 0, 4}}},
        {"usbmsc.s", {{1, 1, 0, 5}}},     {"resource_8210.bin", {{1, 1, 0, 3}}},
        {"dcc_8210.s", {{1, 5, 0, 2}}},
    };
    const auto variants = ReadExampleConfiguration();
    ASSERT_EQ(variants.size(), 2u);
    ASSERT_EQ(variants.at("8200").files.size(), 4u);
    ASSERT_EQ(variants.at("8210").files.size(), 5u);

    const std::filesystem::path folder = kSampleFirmwareFolder;
    for (const auto& [variantName, variant] : variants) {
        for (const ConfiguredFile& file : variant.files) {
            const std::string what = variantName + " file " + std::to_string(file.number) + " " + file.name;
            const auto bytes = testing::ReadFile(folder / file.name);
            ASSERT_FALSE(bytes.empty()) << what;
            const FileFormat format = FileFormatOfType(file.formatType);

            const VersionRead read = ReadFileVersion(bytes, format);
            EXPECT_EQ(read.status, ImageStatus::OK) << what;
            ASSERT_TRUE(versions.contains(file.name)) << what;
            EXPECT_EQ(read.version, versions.at(file.name)) << what;

            const Image image = BuildSystemImage(bytes, {}, format);
            ASSERT_EQ(image.status, ImageStatus::OK) << what << ": " << ImageStatusName(image.status);
            EXPECT_EQ(image.version, read.version) << what;
            if (format == FileFormat::S_RECORD) {
                EXPECT_EQ(VerifySeal(image.bytes).status, ImageStatus::OK) << what;
            } else {
                EXPECT_EQ(image.bytes.size(), (bytes.size() + 509) / 510 * 512) << what;
            }
        }
        // The recovery file also goes to the player as the DCC and as the recovery image.
        const ConfiguredFile& recoveryFile =
            variant.files.at(static_cast<size_t>(variant.recoveryFileNumber - 1));
        const auto recovery = testing::ReadFile(folder / recoveryFile.name);
        for (const ImageOptions& options : {ImageOptions::ForDcc(), ImageOptions::ForRecovery()}) {
            const Image image = BuildSRecordImage(recovery, {}, options);
            EXPECT_EQ(image.status, ImageStatus::OK)
                << recoveryFile.name << ": " << ImageStatusName(image.status);
            EXPECT_EQ(VerifySeal(image.bytes).status, ImageStatus::OK) << recoveryFile.name;
        }
    }
}

}  // namespace
}  // namespace firmware_image
