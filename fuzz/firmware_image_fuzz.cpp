// Arbitrary bytes as an S-record text (with and without a companion), as a raw file and as a
// sealed image: every builder answers with a status, never reads outside its input, and keeps
// its promises about sizes, seals and versions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "firmware_image/block_records.h"
#include "firmware_image/image.h"
#include "firmware_image/sealing.h"
#include "firmware_image/srecord.h"
#include "firmware_image/version.h"

namespace {

using namespace firmware_image;

void Require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void FuzzSRecordImage(std::span<const uint8_t> text, std::span<const uint8_t> companion,
                      const ImageOptions& options) {
    const Image image = BuildSRecordImage(text, companion, options);
    if (!image.Ok()) {
        Require(image.bytes.empty());
        return;
    }
    // The block records never outgrow the text; terminator and seal add 15 bytes.
    Require(image.bytes.size() <= companion.size() + text.size() + kTerminator.size() + kSealBytes);
    Require(image.bytes.size() % kDeviceWordBytes == 0);
    const SealedBytes body = VerifySeal(image.bytes);
    Require(body.status == ImageStatus::OK);
    Require(body.bytes.size() + kSealBytes == image.bytes.size());
    Require(std::equal(kTerminator.begin(), kTerminator.end(), body.bytes.end() - kTerminator.size()));
    // The image's version is the one a version read finds.
    const VersionRead read = ReadFileVersion(text, FileFormat::S_RECORD);
    Require(read.status == ImageStatus::OK && read.version == image.version);
}

void FuzzRawImage(std::span<const uint8_t> file) {
    const Image image = BuildRawImage(file);
    Require(image.Ok());
    Require(image.Pages() == (file.size() + kRawBytesPerPage - 1) / kRawBytesPerPage);
    Require(image.bytes.size() == image.Pages() * kImagePageBytes);
    for (std::size_t page = 0; page < image.Pages(); ++page) {
        Require(image.bytes[page * kImagePageBytes + 510] == 0 &&
                image.bytes[page * kImagePageBytes + 511] == 0);
    }
    Require(ReadFileVersion(file, FileFormat::RAW).version == image.version);
}

void FuzzSeal(std::span<const uint8_t> bytes) {
    const SealedBytes body = VerifySeal(bytes);
    if (body.status == ImageStatus::OK) {
        // A seal that holds is the seal of the body it gives back.
        Require(Seal(body.bytes).bytes == std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    const std::span<const uint8_t> whole = bytes.first(bytes.size() - bytes.size() % kDeviceWordBytes);
    const SealedBytes sealed = Seal(whole);
    Require(sealed.status == ImageStatus::OK);
    Require(VerifySeal(sealed.bytes).bytes == std::vector<uint8_t>(whole.begin(), whole.end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> input(data, size);
    // The first byte, when there is one, says how many of the following bytes form a companion.
    const std::size_t companionBytes =
        input.empty() ? 0 : std::min<std::size_t>(input[0] % 8, input.size() - 1);
    const auto companion = input.empty() ? input : input.subspan(1, companionBytes);
    const auto text = input.empty() ? input : input.subspan(1 + companionBytes);

    for (const ImageOptions& options :
         {ImageOptions::ForSystemArea(), ImageOptions::ForDcc(), ImageOptions::ForRecovery()}) {
        FuzzSRecordImage(input, {}, options);
    }
    FuzzSRecordImage(text, companion, ImageOptions::ForSystemArea());
    FuzzRawImage(input);
    FuzzSeal(input);
    ReadFileVersion(input, FileFormat::S_RECORD);
    return 0;
}
