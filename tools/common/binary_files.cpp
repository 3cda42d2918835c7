#include "tools/common/binary_files.h"

#include <cstdio>
#include <cstring>

#include "tools/common/chip_variant.h"
#include "tools/common/configuration_key.h"
#include "tools/common/configuration_store.h"

namespace tools {

using namespace w32;

namespace {

// The built-in file sets; tag and format type are the same for both variants, and the 8200 set
// has no fifth file.
struct BuiltInFile {
    const char* name8200;
    const char* description8200;
    const char* name8210;
    const char* description8210;
    UCHAR tag;
    ULONG formatType;
};
constexpr BuiltInFile kBuiltInFiles[] = {
    {"Booty.s", "Boot Manager", "Booty_8210.s", "Boot Manager", 0x50, 1},
    {"Qorvsys.s", "Player", "Qorvsys_8210.s", "Player", 0x00, 1},
    {"dcc.s", "Recovery", "usbmsc.s", "USB MSC", 0x01, 1},
    {"resource.bin", "Resource", "resource_8210.bin", "Resource", 0x02, 0},
    {nullptr, nullptr, "dcc_8210.s", "Recovery", 0x03, 1},
};

struct BuiltInSet {
    ULONG numberOfBinaryFiles;
    ULONG bootManagerFileNumber;
    ULONG recoveryFileNumber;
    ULONG playerFileNumber;
};
constexpr BuiltInSet kBuiltIn8200{4, 1, 3, 2};
constexpr BuiltInSet kBuiltIn8210{5, 1, 5, 2};

void CopyText(char* field, const char* text) {
    std::snprintf(field, BINARY_FILE_TEXT_SIZE, "%s", text);
}

std::string FileValueName(ULONG fileNumber, const char* suffix) {
    return "File" + std::to_string(fileNumber) + "_" + suffix;
}

FileSetRead Stopped(FileSetSource source, std::string valueName) {
    return {source, std::move(valueName)};
}

}  // namespace

void SetDefaultBinaryFiles(DWORD chipId, _BinaryFilesInformation* record) {
    if (record == nullptr) {
        return;
    }
    const bool is8210 = ChipVariantOf(chipId) == CHIP_8210;
    const BuiltInSet& set = is8210 ? kBuiltIn8210 : kBuiltIn8200;
    record->numberOfBinaryFiles = set.numberOfBinaryFiles;
    for (ULONG i = 0; i < set.numberOfBinaryFiles; ++i) {
        const BuiltInFile& file = kBuiltInFiles[i];
        CopyText(record->fileName[i], is8210 ? file.name8210 : file.name8200);
        CopyText(record->fileDescription[i], is8210 ? file.description8210 : file.description8200);
        record->fileTag[i] = file.tag;
        record->fileFormatType[i] = file.formatType;
    }
    record->bootManagerFileNumber = set.bootManagerFileNumber;
    record->recoveryFileNumber = set.recoveryFileNumber;
    record->playerFileNumber = set.playerFileNumber;
}

FileSetRead ReadBinaryFiles(DWORD chipId, _BinaryFilesInformation* record) {
    if (record == nullptr) {
        return Stopped(FileSetSource::INCOMPLETE, {});
    }
    // Callers do not clear their record; whatever a failed read leaves unread is zero.
    *record = {};
    const DWORD variant = ChipVariantOf(chipId);
    const std::string subkeyPath = std::string(kParamsKeyPath) + "\\" + std::to_string(variant);
    ConfigurationKey subkey(subkeyPath.c_str());
    if (!subkey.IsOpen()) {
        SetDefaultBinaryFiles(variant, record);
        return {FileSetSource::BUILT_IN, {}};
    }

    DWORD count = 0;
    if (!subkey.ReadNumber("NumberOfBinaryFiles", &count)) {
        return Stopped(FileSetSource::INCOMPLETE, "NumberOfBinaryFiles");
    }
    // More files than the record holds: refuse the set rather than read past the arrays or
    // quietly substitute the built-in one.
    if (count > MAX_BINARY_FILES) {
        return Stopped(FileSetSource::TOO_MANY_FILES, "NumberOfBinaryFiles");
    }
    record->numberOfBinaryFiles = count;

    for (ULONG k = 1; k <= count; ++k) {
        const std::string name = FileValueName(k, "Name");
        if (!subkey.ReadString(name.c_str(), record->fileName[k - 1], BINARY_FILE_TEXT_SIZE)) {
            return Stopped(FileSetSource::INCOMPLETE, name);
        }
        const std::string description = FileValueName(k, "Description");
        if (!subkey.ReadString(description.c_str(), record->fileDescription[k - 1], BINARY_FILE_TEXT_SIZE)) {
            return Stopped(FileSetSource::INCOMPLETE, description);
        }
        const std::string tag = FileValueName(k, "Tag");
        if (!subkey.ReadExact(tag.c_str(), &record->fileTag[k - 1], sizeof record->fileTag[k - 1])) {
            return Stopped(FileSetSource::INCOMPLETE, tag);
        }
        const std::string formatType = FileValueName(k, "FormatType");
        if (!subkey.ReadNumber(formatType.c_str(), &record->fileFormatType[k - 1])) {
            return Stopped(FileSetSource::INCOMPLETE, formatType);
        }
    }

    const struct {
        const char* name;
        ULONG* field;
    } fileNumbers[] = {
        {"BootManagerFileNumber", &record->bootManagerFileNumber},
        {"RecoveryFileNumber", &record->recoveryFileNumber},
        {"PlayerFileNumber", &record->playerFileNumber},
    };
    for (const auto& fileNumber : fileNumbers) {
        if (!subkey.ReadNumber(fileNumber.name, fileNumber.field)) {
            return Stopped(FileSetSource::INCOMPLETE, fileNumber.name);
        }
    }
    return {FileSetSource::REGISTRY, {}};
}

bool ReadBinaryFilesInformation(DWORD chipId, _BinaryFilesInformation* record) {
    return ReadBinaryFiles(chipId, record).source == FileSetSource::REGISTRY;
}

std::optional<std::string> FirmwareFilePath(const char* installFolder, const _BinaryFilesInformation& record,
                                            DWORD fileNumber) {
    if (installFolder == nullptr || fileNumber == 0 || fileNumber > record.numberOfBinaryFiles ||
        fileNumber > MAX_BINARY_FILES) {
        return std::nullopt;
    }
    const char* name = record.fileName[fileNumber - 1];
    return std::string(installFolder) + "\\" + std::string(name, ::strnlen(name, BINARY_FILE_TEXT_SIZE));
}

}  // namespace tools
