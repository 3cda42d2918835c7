// The firmware file set a program reads from its configuration and hands to the device access
// library, with the version arrays the library fills. VxMp3.h includes this header; the host
// tools' common code includes it on its own.
#pragma once

#include <cstddef>

#include "platform/base/types.h"

// Entries in each per-file array, and the size of each file name and description buffer.
inline constexpr win::ULONG MAX_BINARY_FILES = 12;
inline constexpr win::ULONG BINARY_FILE_TEXT_SIZE = 260;

// Entry i of every per-file array describes file i + 1; entries beyond numberOfBinaryFiles are
// not used. Every field is 4-byte aligned at its natural position, so the record has no padding.
struct _BinaryFilesInformation {
    win::ULONG numberOfBinaryFiles;                                      // 0 .. 12
    win::CHAR fileName[MAX_BINARY_FILES][BINARY_FILE_TEXT_SIZE];         // relative to the install folder
    win::CHAR fileDescription[MAX_BINARY_FILES][BINARY_FILE_TEXT_SIZE];  // name shown to the user
    win::ULONG bootManagerFileNumber;                                    // 1-based
    win::ULONG recoveryFileNumber;                                       // 1-based
    win::ULONG playerFileNumber;                                         // 1-based
    win::UCHAR fileTag[MAX_BINARY_FILES];                                // block tag on the medium
    win::ULONG fileFormatType[MAX_BINARY_FILES];                         // 1 S-record text, 0 raw binary
    win::ULONG deviceVersion23[MAX_BINARY_FILES];                        // version words 2, 3 on the device
    win::ULONG deviceVersion01[MAX_BINARY_FILES];                        // version words 0, 1 on the device
    win::ULONG fileVersion23[MAX_BINARY_FILES];                          // version words 2, 3 of the file
    win::ULONG fileVersion01[MAX_BINARY_FILES];                          // version words 0, 1 of the file
};

static_assert(sizeof(_BinaryFilesInformation) == 6508);
static_assert(offsetof(_BinaryFilesInformation, fileName) == 4);
static_assert(offsetof(_BinaryFilesInformation, fileDescription) == 3124);
static_assert(offsetof(_BinaryFilesInformation, bootManagerFileNumber) == 6244);
static_assert(offsetof(_BinaryFilesInformation, recoveryFileNumber) == 6248);
static_assert(offsetof(_BinaryFilesInformation, playerFileNumber) == 6252);
static_assert(offsetof(_BinaryFilesInformation, fileTag) == 6256);
static_assert(offsetof(_BinaryFilesInformation, fileFormatType) == 6268);
static_assert(offsetof(_BinaryFilesInformation, deviceVersion23) == 6316);
static_assert(offsetof(_BinaryFilesInformation, deviceVersion01) == 6364);
static_assert(offsetof(_BinaryFilesInformation, fileVersion23) == 6412);
static_assert(offsetof(_BinaryFilesInformation, fileVersion01) == 6460);
