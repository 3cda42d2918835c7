// The firmware file set of a chip variant: read from the variant's subkey of the configuration,
// or the built-in set when the subkey is absent.
#pragma once

#include <optional>
#include <string>

#include "library/binary_files_information.h"
#include "platform/win32/win32.h"

namespace tools {

enum class FileSetSource {
    REGISTRY,        // every value was read from the variant's subkey
    BUILT_IN,        // the subkey is absent: the built-in set of the variant
    INCOMPLETE,      // the subkey lacks a value (or holds one of the wrong size): read up to there
    TOO_MANY_FILES,  // "NumberOfBinaryFiles" above 12: nothing taken, the record stays zeroed
};

struct FileSetRead {
    FileSetSource source = FileSetSource::REGISTRY;
    std::string failedValue;  // the value that ended the read (INCOMPLETE, TOO_MANY_FILES)
};

// Fills `record`, which starts zeroed, from the subkey the chip id selects, and tells where the
// set came from. A subkey that lacks a value leaves the fields from that value on zero.
FileSetRead ReadBinaryFiles(w32::DWORD chipId, _BinaryFilesInformation* record);

// As ReadBinaryFiles; true only when every value came from the registry.
bool ReadBinaryFilesInformation(w32::DWORD chipId, _BinaryFilesInformation* record);

// Writes the built-in set of the variant the chip id selects: the file count, names,
// descriptions, tags, format types and the three file numbers, nothing else.
void SetDefaultBinaryFiles(w32::DWORD chipId, _BinaryFilesInformation* record);

// The full path of file `fileNumber` (1-based): the install folder, a backslash and its name;
// nullopt for a number outside 1 .. numberOfBinaryFiles.
std::optional<std::string> FirmwareFilePath(const char* installFolder, const _BinaryFilesInformation& record,
                                            w32::DWORD fileNumber);

}  // namespace tools
