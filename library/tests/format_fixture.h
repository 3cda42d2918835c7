// A machine with one player of a chosen size, factory bad blocks and faults, for the block status
// and format tests: the channel opened exclusively as the formatter opens it, the configured
// reserve, and the medium file read back as bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/VxMp3.h"
#include "machine/machine.h"
#include "media_format/mapped_file.h"
#include "media_format/medium_reader.h"
#include "platform/win32/win32.h"
#include "player/tests/test_support.h"

namespace vxmp3_test {

inline const media_format::Geometry& GeometryOfMegabytes(std::uint32_t megabytes) {
    for (const auto& row : media_format::LibraryGeometries()) {
        if (row.HasFlashSizeIndex() && row.megabytes == megabytes) {
            return row;
        }
    }
    ADD_FAILURE() << "no geometry of " << megabytes << " MB";
    return media_format::LibraryGeometries().back();
}

struct FormatPlayer {
    std::uint32_t megabytes = 64;
    std::vector<std::uint32_t> badBlocks;
    player::PlayerOptions options;
    player::PlayerSettings settings;
    // Changes the factory-fresh medium before the player starts (pages written by hand).
    std::function<void(player::NandMedium&)> prepare;
};

inline FormatPlayer Sized(std::uint32_t megabytes, std::vector<std::uint32_t> badBlocks = {}) {
    FormatPlayer request;
    request.megabytes = megabytes;
    request.badBlocks = std::move(badBlocks);
    return request;
}
inline FormatPlayer WithFaults(FormatPlayer request, player::FaultPlan faults) {
    request.options.faults = std::move(faults);
    return request;
}
inline FormatPlayer Prepared(FormatPlayer request, std::function<void(player::NandMedium&)> prepare) {
    request.prepare = std::move(prepare);
    return request;
}

class FormatScenario : public ::testing::Test {
  protected:
    // Boots a Windows 98 machine (the formatter's home) with the player plugged in, and sets
    // "TotalKiloBytesReserved" (removed for nullopt).
    void Boot(FormatPlayer request, std::optional<win::ULONG> reservedKiloBytes = 1024) {
        machine::MachineOptions machineOptions;
        machineOptions.os = platform::OsFlavour::Win98;
        std::string error;
        machine_ = machine::Machine::Boot(machineOptions, &error);
        ASSERT_TRUE(machine_) << error;
        mediumPath_ = folder_.File("medium.nand");
        auto medium = player::NandMedium::Create(mediumPath_, GeometryOfMegabytes(request.megabytes),
                                                 request.badBlocks, error);
        ASSERT_TRUE(medium) << error;
        if (request.prepare) {
            request.prepare(*medium);
        }
        request.settings.dccRunning = true;
        auto attached = std::make_unique<player::Player>(std::move(request.settings),
                                                         std::move(request.options), std::move(medium));
        player_ = attached.get();
        ASSERT_TRUE(machine_->AttachPlayer(std::move(attached), &error)) << error;
        scope_ = std::make_unique<platform::ProcessScope>(machine_->Pc(), "formatter");
        SetReservedKiloBytes(reservedKiloBytes);
    }

    void SetReservedKiloBytes(std::optional<win::ULONG> kiloBytes) {
        using namespace w32;
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zephtal\\Zephtal RPX-7300 MP3 Player\\Params", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        if (kiloBytes) {
            RegSetValueExA(key, "TotalKiloBytesReserved", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&*kiloBytes), sizeof *kiloBytes);
        } else {
            RegDeleteValueA(key, "TotalKiloBytesReserved");
        }
        RegCloseKey(key);
        reservedKiloBytes_ = kiloBytes.value_or(0);
    }

    // Opens the channel exclusively and reads the size index into sizes_[0].
    void Open() {
        ASSERT_EQ(VxMp3OpenDriverEx(0, DEVICE_STATUS_NORMAL), 1);
        win::ULONG failed = 1;
        ASSERT_EQ(VxMp3GetFlashSizes(&sizes_[0], &failed), ACCESS_DEVICE_OK);
    }

    PROGRAM_MEDIA_STATUS Scan() { return VxMp3BuildBlockStatus(sizes_, 0, 1, &files_, nullptr); }
    PROGRAM_MEDIA_STATUS QuickFormat(int reserveFlag = 1) {
        return VxMp3QuickFormatQorv(sizes_, 0, reserveFlag, &files_, nullptr);
    }

    // The medium file, mapped once: the player maps it shared, so every change shows in it.
    std::span<const std::uint8_t> Medium() {
        if (!mapped_) {
            std::string error;
            mapped_ = media_format::MappedFile::Open(mediumPath_, media_format::MappedFile::Access::ReadOnly,
                                                     error);
            EXPECT_TRUE(mapped_) << error;
        }
        return mapped_ ? mapped_->Bytes() : std::span<const std::uint8_t>{};
    }
    std::span<const std::uint8_t> PageOf(std::uint32_t block, std::uint32_t page) {
        const auto& geometry = player_->Hardware().Medium()->Geometry();
        std::uint64_t index = std::uint64_t{block} * geometry.pagesPerBlock + page;
        return Medium().subspan(index * media_format::kPageBytes, media_format::kPageBytes);
    }
    std::optional<media_format::MediumReader> Reader() {
        std::string error;
        auto reader = media_format::MediumReader::Open(Medium(), reservedKiloBytes_, error);
        EXPECT_TRUE(reader) << error;
        return reader;
    }

    void TearDown() override {
        if (scope_) {
            VxMp3FreeMemoryDevice(0);
            VxMp3CloseDriver();
            VxMp3SetPhase(0, 0.0, nullptr);
        }
        scope_.reset();
    }

    std::uint64_t NowMs() { return machine_->Pc().Sched().NowMs(); }

    player::testing::TempFolder folder_;
    std::string mediumPath_;
    std::unique_ptr<machine::Machine> machine_;
    player::Player* player_ = nullptr;
    std::unique_ptr<platform::ProcessScope> scope_;
    std::optional<media_format::MappedFile> mapped_;
    win::ULONG sizes_[1] = {36};
    win::ULONG reservedKiloBytes_ = 0;
    _BinaryFilesInformation files_{};
};

// The tags of the 8210 file set: the boot manager 'P', then 0x00 .. 0x03.
inline void UseFileTags(_BinaryFilesInformation& files, std::initializer_list<win::UCHAR> tags) {
    files.numberOfBinaryFiles = static_cast<win::ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), files.fileTag);
    files.bootManagerFileNumber = 1;
}

}  // namespace vxmp3_test
