// The table of library exports callable from `rpxsim lib`: name, argument names, and the binding
// that parses the arguments and prints the result with the outputs under their header names.
#include "machine/rpxsim/lib_exports.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <memory>

#include "library/VxMp3.h"
#include "machine/rpxsim/command_line.h"
#include "machine/rpxsim/firmware_files.h"
#include "tools/common/binary_files.h"

namespace rpxsim {

namespace {

using win::CHAR;
using win::UCHAR;
using win::ULONG;

// The arguments of one call, taken in order.
class CallArguments {
  public:
    CallArguments(std::string exportName, std::vector<std::string> words)
        : exportName_(std::move(exportName)), words_(std::move(words)) {}

    unsigned long Number(const char* what, unsigned long max) {
        std::string word = Next(what);
        unsigned long value = ParseNumber(word, (exportName_ + " " + what).c_str());
        if (value > max) {
            throw UsageError(exportName_ + " " + what + " must be at most " + std::to_string(max) +
                             ", not '" + word + "'");
        }
        return value;
    }

    // An instance number, -128 .. 127 as the exports take it.
    CHAR Instance() {
        std::string word = Next("INSTANCE");
        bool negative = !word.empty() && word[0] == '-';
        unsigned long magnitude =
            ParseNumber(negative ? word.substr(1) : word, (exportName_ + " INSTANCE").c_str());
        if (magnitude > (negative ? 128u : 127u)) {
            throw UsageError(exportName_ + " INSTANCE must lie in -128..127, not '" + word + "'");
        }
        return static_cast<CHAR>(negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude));
    }

    DEVICE_STATUS Mode() {
        struct Name {
            const char* text;
            DEVICE_STATUS mode;
        };
        static constexpr std::array<Name, 4> kModes{{{"NONE", DEVICE_STATUS_NONE},
                                                     {"NORMAL", DEVICE_STATUS_NORMAL},
                                                     {"RECOVERY", DEVICE_STATUS_RECOVERY},
                                                     {"NO_DATA", DEVICE_STATUS_NO_DATA}}};
        std::string word = Next("MODE");
        for (const auto& name : kModes) {
            if (word == name.text || word == std::to_string(name.mode)) {
                return name.mode;
            }
        }
        throw UsageError(exportName_ + " MODE takes NONE, NORMAL, RECOVERY or NO_DATA (or 0..3), not '" +
                         word + "'");
    }

    // Bytes written as hexadecimal digits, two per byte ("0a0000").
    std::vector<UCHAR> Bytes(const char* what) {
        std::string word = Next(what);
        if (word.empty() || word.size() % 2 != 0) {
            throw UsageError(exportName_ + " " + what + " must be pairs of hexadecimal digits, not '" + word +
                             "'");
        }
        std::vector<UCHAR> bytes;
        for (std::size_t i = 0; i < word.size(); i += 2) {
            bytes.push_back(static_cast<UCHAR>(
                ParseNumber("0x" + word.substr(i, 2), (exportName_ + " " + what).c_str())));
        }
        return bytes;
    }

    void ExpectEnd() const {
        if (next_ < words_.size()) {
            throw UsageError(exportName_ + ": unexpected argument '" + words_[next_] + "'");
        }
    }

  private:
    std::string Next(const char* what) {
        if (next_ >= words_.size()) {
            throw UsageError(exportName_ + " needs " + what);
        }
        return words_[next_++];
    }

    std::string exportName_;
    std::vector<std::string> words_;
    std::size_t next_ = 0;
};

std::string Hex(unsigned long value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%lX", value);
    return text.data();
}

std::string HexBytes(const std::vector<UCHAR>& bytes) {
    std::string text;
    for (UCHAR byte : bytes) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", byte);
        text += pair.data();
    }
    return text;
}

std::string Field(const char* name, unsigned long value) {
    return std::string(" ") + name + "=" + std::to_string(value);
}

std::string UserDataFields(const USER_DATA& userData) {
    return Field("exclusiveAccess", userData.exclusiveAccess) + Field("mediaChanged", userData.mediaChanged) +
           Field("removalAllowed", userData.removalAllowed);
}

std::string Percent(double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f", value);
    return text.data();
}

constexpr std::size_t kCardSector = 512;

// The data of `count` card sectors: the bytes given, zero-filled to whole sectors.
std::vector<UCHAR> SectorData(CallArguments& args, std::size_t count) {
    auto bytes = args.Bytes("HEXBYTES");
    if (bytes.size() > count * kCardSector) {
        throw UsageError("HEXBYTES holds more than " + std::to_string(count) + " sectors");
    }
    bytes.resize(count * kCardSector);
    return bytes;
}

// A media operation: the size index stands at the slot's place of a size array, and the file set is
// the one configured for the 8210 variant.
template <typename Call>
std::string MediaCall(ULONG sizeIndex, UCHAR slot, Call call) {
    std::vector<ULONG> sizes(std::size_t{slot} + 1, 36);
    sizes[slot] = sizeIndex;
    _BinaryFilesInformation files{};
    tools::ReadBinaryFilesInformation(8210, &files);
    return std::to_string(call(sizes.data(), &files));
}

// The system-area and version calls: the file set of `chip` from the machine's configuration, the
// files (and companions) from its install folder, as the updater hands them to the library.
template <typename Call>
std::string FirmwareCall(ULONG sizeIndex, UCHAR slot, ULONG chip, bool withCompanions, Call call) {
    std::string error;
    auto firmware = LoadFirmwareFiles(std::nullopt, chip, withCompanions, &error);
    if (!firmware) {
        return "not called: " + error;
    }
    std::vector<ULONG> sizes(std::size_t{slot} + 1, 36);
    sizes[slot] = sizeIndex;
    return call(sizes.data(), *firmware);
}

// The version words the library filled in, per file: the device's or the files'.
std::string VersionFields(const _BinaryFilesInformation& set, bool device) {
    std::string text;
    for (ULONG i = 0; i < set.numberOfBinaryFiles && i < MAX_BINARY_FILES; ++i) {
        std::string file = "file" + std::to_string(i + 1);
        text += " " + file + (device ? ".deviceVersion01=" : ".fileVersion01=") +
                Hex(device ? set.deviceVersion01[i] : set.fileVersion01[i]);
        text += " " + file + (device ? ".deviceVersion23=" : ".fileVersion23=") +
                Hex(device ? set.deviceVersion23[i] : set.fileVersion23[i]);
    }
    return text;
}

using Binding = std::function<std::string()> (*)(CallArguments&);

// The card erases and the format: card and sector count in, the progress they leave out.
template <int (*Operation)(UCHAR, ULONG, double*)>
std::function<std::string()> CardOperation(CallArguments& args) {
    auto card = static_cast<UCHAR>(args.Number("CARD", 255));
    auto sectors = static_cast<ULONG>(args.Number("SECTORS", 0xFFFFFFFF));
    return [=] {
        double progress = 0.0;
        int result = Operation(card, sectors, &progress);
        return std::to_string(result) + " progress=" + Percent(progress);
    };
}

struct LibExport {
    const char* name;
    const char* arguments;
    Binding bind;
};

// Each binding parses its arguments now and calls the export later. The result comes first; the
// outputs follow with the parameter names of the export header.
const LibExport kExports[] = {
    {"VxMp3OpenDriver", "MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3OpenDriver(mode)); };
     }},
    {"VxMp3OpenDriverEx", "INSTANCE MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto instance = args.Instance();
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3OpenDriverEx(instance, mode)); };
     }},
    {"VxMp3OpenDriverNoBlock", "INSTANCE MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto instance = args.Instance();
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3OpenDriverNoBlock(instance, mode)); };
     }},
    {"VxMp3OpenDriverNoBlockEx", "MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3OpenDriverNoBlockEx(mode)); };
     }},
    {"VxMp3CloseDriver", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] { return std::to_string(VxMp3CloseDriver()); };
     }},
    {"VxMp3GetStatus", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             USER_DATA userData{};
             int result = VxMp3GetStatus(&userData);
             return std::to_string(result) + UserDataFields(userData);
         };
     }},
    {"VxMp3SetStatus", "EXCLUSIVE MEDIA_CHANGED REMOVAL_ALLOWED",
     [](CallArguments& args) -> std::function<std::string()> {
         USER_DATA userData{};
         userData.exclusiveAccess = static_cast<ULONG>(args.Number("EXCLUSIVE", 0xFFFFFFFF));
         userData.mediaChanged = static_cast<ULONG>(args.Number("MEDIA_CHANGED", 0xFFFFFFFF));
         userData.removalAllowed = static_cast<ULONG>(args.Number("REMOVAL_ALLOWED", 0xFFFFFFFF));
         return [=]() mutable { return std::to_string(VxMp3SetStatus(&userData)); };
     }},
    {"VxMp3GetDeviceStatus", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] { return std::to_string(VxMp3GetDeviceStatus()); };
     }},
    {"VxMp3GetDeviceVersion", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             ULONG version = 0;
             int result = VxMp3GetDeviceVersion(&version);
             return std::to_string(result) + " version=" + Hex(version);
         };
     }},
    {"VxMp3GetChipId", "SOURCE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto source = static_cast<UCHAR>(args.Number("SOURCE", 255));
         // Source 1 answers with the decimal model number, the others with the USB ids.
         return [=] {
             ULONG chipId = VxMp3GetChipId(source);
             return source == 1 ? std::to_string(chipId) : Hex(chipId);
         };
     }},
    {"VxMp3DDOpenDriver", "INSTANCE SEARCH MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto instance = args.Instance();
         auto search = static_cast<UCHAR>(args.Number("SEARCH", 255));
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3DDOpenDriver(instance, search, mode)); };
     }},
    {"VxMp3DDOpenDriverNoBlock", "INSTANCE SEARCH MODE",
     [](CallArguments& args) -> std::function<std::string()> {
         auto instance = args.Instance();
         auto search = static_cast<UCHAR>(args.Number("SEARCH", 255));
         auto mode = args.Mode();
         return [=] { return std::to_string(VxMp3DDOpenDriverNoBlock(instance, search, mode)); };
     }},
    {"VxMp3DDCloseDriver", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] { return std::to_string(VxMp3DDCloseDriver()); };
     }},
    {"VxMp3DDGetStatus", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             USER_DATA userData{};
             int result = VxMp3DDGetStatus(&userData);
             return std::to_string(result) + UserDataFields(userData);
         };
     }},
    {"VxMp3DDSetStatus", "EXCLUSIVE MEDIA_CHANGED REMOVAL_ALLOWED",
     [](CallArguments& args) -> std::function<std::string()> {
         USER_DATA userData{};
         userData.exclusiveAccess = static_cast<ULONG>(args.Number("EXCLUSIVE", 0xFFFFFFFF));
         userData.mediaChanged = static_cast<ULONG>(args.Number("MEDIA_CHANGED", 0xFFFFFFFF));
         userData.removalAllowed = static_cast<ULONG>(args.Number("REMOVAL_ALLOWED", 0xFFFFFFFF));
         return [=]() mutable { return std::to_string(VxMp3DDSetStatus(&userData)); };
     }},
    {"VxMp3DDSetFormatStatus", "STATUS",
     [](CallArguments& args) -> std::function<std::string()> {
         auto status = static_cast<int>(args.Number("STATUS", 0x7FFFFFFF));
         return [=] { return std::to_string(VxMp3DDSetFormatStatus(status)); };
     }},
    {"VxMp3DDGetDeviceStatus", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] { return std::to_string(VxMp3DDGetDeviceStatus()); };
     }},
    {"VxMp3DDGetDeviceVersion", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             ULONG version = 0;
             int result = VxMp3DDGetDeviceVersion(&version);
             return std::to_string(result) + " version=" + Hex(version);
         };
     }},
    {"VxMp3DDReconfigure", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] { return std::to_string(VxMp3DDReconfigure()); };
     }},
    {"VxMp3DDGetChipId", "",
     [](CallArguments&) -> std::function<std::string()> { return [] { return Hex(VxMp3DDGetChipId()); }; }},
    {"VxMp3DDWrite", "HEXBYTES",
     [](CallArguments& args) -> std::function<std::string()> {
         auto data = args.Bytes("HEXBYTES");
         return [=]() mutable {
             return std::to_string(VxMp3DDWrite(data.data(), static_cast<ULONG>(data.size())));
         };
     }},
    {"VxMp3DDRead", "LENGTH",
     [](CallArguments& args) -> std::function<std::string()> {
         auto length = static_cast<ULONG>(args.Number("LENGTH", 65536));
         return [=] {
             std::vector<UCHAR> data(length);
             int result = VxMp3DDRead(data.data(), length);
             return std::to_string(result) + " data=" + (result ? HexBytes(data) : "");
         };
     }},
    {"VxMp3GetPowerStatus", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             ULONG status = 0;
             auto result = VxMp3GetPowerStatus(&status);
             return std::to_string(result) + Field("status", status);
         };
     }},
    {"VxMp3GetFlashSizes", "",
     [](CallArguments&) -> std::function<std::string()> {
         return [] {
             ULONG sizeIndex = 0;
             ULONG failed = 0;
             auto result = VxMp3GetFlashSizes(&sizeIndex, &failed);
             return std::to_string(result) + Field("sizeIndex", sizeIndex) + Field("failed", failed);
         };
     }},
    {"VxMp3BuildBlockStatus", "SIZE_INDEX SLOT",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         return [=] {
             return MediaCall(sizeIndex, slot, [&](ULONG* sizes, _BinaryFilesInformation* files) {
                 return VxMp3BuildBlockStatus(sizes, slot, 1, files, nullptr);
             });
         };
     }},
    {"VxMp3QuickFormatQorv", "SIZE_INDEX SLOT RESERVE_FLAG",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         auto reserveFlag = static_cast<int>(args.Number("RESERVE_FLAG", 1));
         return [=] {
             return MediaCall(sizeIndex, slot, [&](ULONG* sizes, _BinaryFilesInformation* files) {
                 return VxMp3QuickFormatQorv(sizes, slot, reserveFlag, files, nullptr);
             });
         };
     }},
    {"VxMp3FatEraseDataArea", "SIZE_INDEX SLOT",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         return [=] {
             return MediaCall(sizeIndex, slot, [&](ULONG* sizes, _BinaryFilesInformation*) {
                 return VxMp3FatEraseDataArea(sizes, slot, nullptr);
             });
         };
     }},
    {"VxMp3ProgramQorvMedia", "SIZE_INDEX SLOT CHIP",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         auto chip = static_cast<ULONG>(args.Number("CHIP", 0xFFFFFFFF));
         return [=] {
             return FirmwareCall(sizeIndex, slot, chip, true, [&](ULONG* sizes, FirmwareFiles& firmware) {
                 return std::to_string(
                     VxMp3ProgramQorvMedia(sizes, slot, firmware.files.data(), firmware.lengths.data(),
                                           firmware.companionFiles.data(), firmware.companionLengths.data(),
                                           &firmware.set, nullptr));
             });
         };
     }},
    {"VxMp3FatFormatEx", "SIZE_INDEX SLOT WRITE_FILES CHIP",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         auto writeFiles = static_cast<int>(args.Number("WRITE_FILES", 1));
         auto chip = static_cast<ULONG>(args.Number("CHIP", 0xFFFFFFFF));
         return [=] {
             return FirmwareCall(sizeIndex, slot, chip, true, [&](ULONG* sizes, FirmwareFiles& firmware) {
                 return std::to_string(
                     VxMp3FatFormatEx(sizes, slot, writeFiles, firmware.files.data(), firmware.lengths.data(),
                                      firmware.companionFiles.data(), firmware.companionLengths.data(),
                                      &firmware.set, nullptr));
             });
         };
     }},
    {"VxMp3GetFirmwareVersion", "SIZE_INDEX SLOT CHIP",
     [](CallArguments& args) -> std::function<std::string()> {
         auto sizeIndex = static_cast<ULONG>(args.Number("SIZE_INDEX", 0xFFFFFFFF));
         auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
         auto chip = static_cast<ULONG>(args.Number("CHIP", 0xFFFFFFFF));
         return [=] {
             return FirmwareCall(sizeIndex, slot, chip, false, [&](ULONG* sizes, FirmwareFiles& firmware) {
                 auto result = VxMp3GetFirmwareVersion(sizes, slot, &firmware.set);
                 return std::to_string(result) + VersionFields(firmware.set, true);
             });
         };
     }},
    {"VxMp3GetFileVersion", "CHIP",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto chip = static_cast<ULONG>(args.Number("CHIP", 0xFFFFFFFF));
                                     return [=] {
                                         return FirmwareCall(
                                             36, 0, chip, false, [&](ULONG*, FirmwareFiles& firmware) {
                                                 auto result = VxMp3GetFileVersion(firmware.files.data(),
                                                                                   firmware.lengths.data(),
                                                                                   &firmware.set);
                                                 return std::to_string(result) +
                                                        VersionFields(firmware.set, false);
                                             });
                                     };
                                 }},
    {"VxMp3FreeMemoryDevice", "SLOT",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
                                     return [=] { return std::to_string(VxMp3FreeMemoryDevice(slot)); };
                                 }},
    {"VxMp3FatPrepareSupported", "SLOT",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto slot = static_cast<UCHAR>(args.Number("SLOT", 255));
                                     return [=] { return std::to_string(VxMp3FatPrepareSupported(slot)); };
                                 }},
    {"VxMp3SetPhase", "PHASE PERCENT",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto phase = static_cast<ULONG>(args.Number("PHASE", 0xFFFFFFFF));
                                     auto percent = static_cast<double>(args.Number("PERCENT", 100));
                                     return [=] {
                                         return std::to_string(VxMp3SetPhase(phase, percent, nullptr));
                                     };
                                 }},
    {"VxMp3SetProgress", "PERCENT",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto percent = static_cast<double>(args.Number("PERCENT", 100));
                                     return [=] { return std::to_string(VxMp3SetProgress(percent)); };
                                 }},
    {"VxMp3GetProgress", "",
     [](CallArguments&) -> std::
                            function<std::string()> {
                                return [] {
                                    double progress = 0.0;
                                    ULONG phase = 0;
                                    int result = VxMp3GetProgress(&progress, &phase);
                                    return std::to_string(result) + " progress=" + Percent(progress) +
                                           Field("phase", phase);
                                };
                            }},
    {"VxMp3MMCDetectMedia", "CARD",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     return [=] {
                                         ULONG sectors = 0;
                                         UCHAR status = 0;
                                         UCHAR property = 0;
                                         UCHAR eraseGroup = 0;
                                         int result = VxMp3MMCDetectMedia(card, &sectors, &status, &property,
                                                                          &eraseGroup);
                                         return std::to_string(result) + Field("sectors", sectors) +
                                                Field("status", status) + " property=" + Hex(property) +
                                                Field("eraseGroup", eraseGroup);
                                     };
                                 }},
    {"VxMp3MMCReadStatus", "CARD",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     return [=] {
                                         win::USHORT cardStatus = 0;
                                         int result = VxMp3MMCReadStatus(card, &cardStatus);
                                         return std::to_string(result) + " cardStatus=" + Hex(cardStatus);
                                     };
                                 }},
    {"VxMp3MMCReadCID", "CARD",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     return [=] {
                                         _MMC_CID cid{};
                                         UCHAR status = 0;
                                         int result = VxMp3MMCReadCID(card, &cid, &status);
                                         return std::to_string(result) + Field("status", status) + " cid=" +
                                                HexBytes({std::begin(cid.bytes), std::end(cid.bytes)});
                                     };
                                 }},
    {"VxMp3MMCReadOCR", "CARD",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     return [=] {
                                         ULONG ocr = 0;
                                         UCHAR status = 0;
                                         int result = VxMp3MMCReadOCR(card, &ocr, &status);
                                         return std::to_string(result) + Field("status", status) +
                                                " ocr=" + Hex(ocr);
                                     };
                                 }},
    {"VxMp3MMCReadCSD", "CARD",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     return [=] {
                                         _MMC_CSD csd{};
                                         UCHAR status = 0;
                                         int result = VxMp3MMCReadCSD(card, &csd, &status);
                                         return std::to_string(result) + Field("status", status) + " csd=" +
                                                HexBytes({std::begin(csd.bytes), std::end(csd.bytes)});
                                     };
                                 }},
    {"VxMp3MMCProgramCSD", "CARD HEXBYTES",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     auto bytes = args.Bytes("HEXBYTES");
                                     _MMC_CSD csd{};
                                     if (bytes.size() != sizeof csd.bytes) {
                                         throw UsageError("VxMp3MMCProgramCSD HEXBYTES must be 16 bytes");
                                     }
                                     std::copy(bytes.begin(), bytes.end(), csd.bytes);
                                     return [=]() mutable {
                                         UCHAR status = 0;
                                         int result = VxMp3MMCProgramCSD(card, &csd, &status);
                                         return std::to_string(result) + Field("status", status);
                                     };
                                 }},
    {"VxMp3MMCReadBlock", "CARD SECTOR",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     auto sector = static_cast<ULONG>(args.Number("SECTOR", 0xFFFFFFFF));
                                     return [=] {
                                         std::vector<UCHAR> data(kCardSector);
                                         int result = VxMp3MMCReadBlock(card, sector, data.data());
                                         return std::to_string(result) +
                                                " data=" + (result ? HexBytes(data) : "");
                                     };
                                 }},
    {"VxMp3MMCReadMultipleBlock", "CARD SECTOR COUNT",
     [](CallArguments& args) -> std::function<std::string()> {
         auto card = static_cast<UCHAR>(args.Number("CARD", 255));
         auto sector = static_cast<ULONG>(args.Number("SECTOR", 0xFFFFFFFF));
         auto count = static_cast<win::USHORT>(args.Number("COUNT", 128));
         return [=] {
             std::vector<UCHAR> data(std::size_t{count} * kCardSector);
             int result = VxMp3MMCReadMultipleBlock(card, sector, count, data.data());
             return std::to_string(result) + " data=" + (result ? HexBytes(data) : "");
         };
     }},
    {"VxMp3MMCWriteBlock", "CARD SECTOR HEXBYTES",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     auto sector = static_cast<ULONG>(args.Number("SECTOR", 0xFFFFFFFF));
                                     auto data = SectorData(args, 1);
                                     return [=]() mutable {
                                         return std::to_string(VxMp3MMCWriteBlock(card, sector, data.data()));
                                     };
                                 }},
    {"VxMp3MMCWriteMultipleBlock", "CARD SECTOR COUNT HEXBYTES",
     [](CallArguments& args) -> std::function<std::string()> {
         auto card = static_cast<UCHAR>(args.Number("CARD", 255));
         auto sector = static_cast<ULONG>(args.Number("SECTOR", 0xFFFFFFFF));
         auto count = static_cast<win::USHORT>(args.Number("COUNT", 128));
         auto data = SectorData(args, count);
         return [=]() mutable {
             return std::to_string(VxMp3MMCWriteMultipleBlock(card, sector, count, data.data()));
         };
     }},
    {"VxMp3MMCErase", "CARD START COUNT",
     [](CallArguments& args) -> std::
                                 function<std::string()> {
                                     auto card = static_cast<UCHAR>(args.Number("CARD", 255));
                                     auto start = static_cast<ULONG>(args.Number("START", 0xFFFFFFFF));
                                     auto count = static_cast<ULONG>(args.Number("COUNT", 0xFFFFFFFF));
                                     return [=] {
                                         UCHAR status = 0;
                                         int result = VxMp3MMCErase(card, start, count, &status);
                                         return std::to_string(result) + Field("status", status);
                                     };
                                 }},
    {"VxMp3MMCEraseFileSystemSectors", "CARD SECTORS", CardOperation<VxMp3MMCEraseFileSystemSectors>},
    {"VxMp3MMCEraseAllBlocks", "CARD SECTORS", CardOperation<VxMp3MMCEraseAllBlocks>},
    {"VxMp3MMCFormat", "CARD SECTORS", CardOperation<VxMp3MMCFormat>},
};

}  // namespace

LibCall ParseLibCall(const std::vector<std::string>& words) {
    if (words.empty()) {
        throw UsageError("lib: an empty call (nothing between two ';')");
    }
    for (const auto& entry : kExports) {
        if (words[0] == entry.name) {
            CallArguments args(entry.name, std::vector<std::string>(words.begin() + 1, words.end()));
            auto run = entry.bind(args);
            args.ExpectEnd();
            std::string name = entry.name;
            return LibCall{name, [name, run] { return name + " -> " + run(); }};
        }
    }
    throw UsageError("lib: unknown export '" + words[0] + "' (rpxsim lib --exports lists them)");
}

std::string LibExportList() {
    std::string list;
    for (const auto& entry : kExports) {
        list += std::string("      ") + entry.name + (entry.arguments[0] != '\0' ? " " : "") +
                entry.arguments + "\n";
    }
    return list;
}

}  // namespace rpxsim
