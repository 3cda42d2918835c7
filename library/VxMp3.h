// The export header of the device access library VxMp3: the records and enumerations that the
// library, the player's drivers and the host tools share, the control codes of the control device,
// and every export. The exports are C++ functions; their decorated names encode their argument
// types. Each returns 1/0 or one of the three result enumerations and never throws.
#pragma once

#include <cstddef>

#include "library/binary_files_information.h"
#include "platform/base/types.h"

// The status words that the USB driver keeps per player. Words 0..2 are kept; word 3 is neither
// kept nor interpreted.
struct USER_DATA {
    win::ULONG exclusiveAccess;  // nonzero while a host tool holds the device exclusively
    win::ULONG mediaChanged;     // one-shot: the file system was rewritten
    win::ULONG removalAllowed;   // 1 when the operating system allows medium removal
    win::ULONG reserved;
};
static_assert(sizeof(USER_DATA) == 16);
static_assert(offsetof(USER_DATA, mediaChanged) == 4);
static_assert(offsetof(USER_DATA, removalAllowed) == 8);

// Open mode of the open exports, and result of VxMp3GetDeviceStatus.
enum DEVICE_STATUS : win::ULONG {
    DEVICE_STATUS_NONE = 0,      // open: normal-mode device, no parameter query; query: request failed
    DEVICE_STATUS_NORMAL = 1,    // open: normal-mode device and read the DCC version; query: reported 1
    DEVICE_STATUS_RECOVERY = 2,  // open: recovery-mode device; query: reported any other value
    DEVICE_STATUS_NO_DATA = 3,   // open: like 0; query: the driver answered with zero bytes
};
static_assert(sizeof(DEVICE_STATUS) == 4);

// Result of the device queries.
enum ACCESS_DEVICE_STATUS : win::ULONG {
    ACCESS_DEVICE_OK = 0,
    ACCESS_DEVICE_FAILED = 1,
};
static_assert(sizeof(ACCESS_DEVICE_STATUS) == 4);

// Result of every media operation. Values 5 and 7 are not used.
enum PROGRAM_MEDIA_STATUS : win::ULONG {
    PROGRAM_MEDIA_OK = 0,
    PROGRAM_MEDIA_NO_MEMORY = 1,
    PROGRAM_MEDIA_BAD_FILE = 2,
    PROGRAM_MEDIA_NO_DEVICE = 3,
    PROGRAM_MEDIA_FORMAT_FAILED = 4,
    PROGRAM_MEDIA_SYSTEM_WRITE_FAILED = 6,
    PROGRAM_MEDIA_BAD_MEDIA = 8,
    PROGRAM_MEDIA_NOT_BOOT_MEDIA = 9,
    PROGRAM_MEDIA_SYSTEM_AREA_FULL = 10,
};
static_assert(sizeof(PROGRAM_MEDIA_STATUS) == 4);

// A card's identification register as the device returns it, not decoded.
struct _MMC_CID {
    win::UCHAR bytes[18];
};
static_assert(sizeof(_MMC_CID) == 18);

// A card's card-specific data register, not decoded.
struct _MMC_CSD {
    win::UCHAR bytes[16];
};
static_assert(sizeof(_MMC_CSD) == 16);

// Control codes of the control device (buffered; device type 0x22, functions 0x800 on). The
// library sends the first six; GET_PARENT, REGISTER_MINIPORT and LINK_ADAPTER belong to the link
// between the disk driver and the USB driver.
inline constexpr win::ULONG IOCTL_VXMP3_GET_STATUS = 0x222000;          // out: USER_DATA
inline constexpr win::ULONG IOCTL_VXMP3_SET_STATUS = 0x222004;          // in: USER_DATA
inline constexpr win::ULONG IOCTL_VXMP3_RECONFIGURE = 0x222008;         // no buffers
inline constexpr win::ULONG IOCTL_VXMP3_GET_PARENT = 0x22200C;          // out: 8 bytes
inline constexpr win::ULONG IOCTL_VXMP3_REGISTER_MINIPORT = 0x222010;   // in: 24 bytes
inline constexpr win::ULONG IOCTL_VXMP3_LINK_ADAPTER = 0x222014;        // out: 8 bytes
inline constexpr win::ULONG IOCTL_VXMP3_GET_DEVICE_VERSION = 0x222018;  // out: 4 bytes, release number
inline constexpr win::ULONG IOCTL_VXMP3_GET_DEVICE_STATUS = 0x22201C;   // out: 4 bytes, interface subclass
inline constexpr win::ULONG IOCTL_VXMP3_GET_CHIP_ID = 0x222020;         // out: 4 bytes, vid << 16 | pid

// The channel: open, close and control records, under the library lock.
int VxMp3OpenDriver(DEVICE_STATUS mode);
int VxMp3OpenDriverEx(win::CHAR instance, DEVICE_STATUS mode);
int VxMp3OpenDriverNoBlock(win::CHAR instance, DEVICE_STATUS mode);
int VxMp3OpenDriverNoBlockEx(DEVICE_STATUS mode);
int VxMp3CloseDriver();
int VxMp3GetStatus(USER_DATA* userData);
int VxMp3SetStatus(USER_DATA* userData);
DEVICE_STATUS VxMp3GetDeviceStatus();
int VxMp3GetDeviceVersion(win::ULONG* version);
win::ULONG VxMp3GetChipId(win::UCHAR source);

// The raw channel layer, without the library lock.
int VxMp3DDOpenDriver(win::CHAR instance, win::UCHAR search, DEVICE_STATUS mode);
int VxMp3DDOpenDriverNoBlock(win::CHAR instance, win::UCHAR search, DEVICE_STATUS mode);
int VxMp3DDCloseDriver();
int VxMp3DDGetStatus(USER_DATA* userData);
int VxMp3DDSetStatus(USER_DATA* userData);
int VxMp3DDSetFormatStatus(int status);
win::ULONG VxMp3DDGetDeviceStatus();
win::UCHAR VxMp3DDGetDeviceVersion(win::ULONG* version);
int VxMp3DDReconfigure();
win::ULONG VxMp3DDGetChipId();
int VxMp3DDWrite(win::UCHAR* data, win::ULONG length);
int VxMp3DDRead(win::UCHAR* data, win::ULONG length);

// Device queries.
ACCESS_DEVICE_STATUS VxMp3GetPowerStatus(win::ULONG* status);
ACCESS_DEVICE_STATUS VxMp3GetFlashSizes(win::ULONG* sizeIndex, win::ULONG* failed);

// Block status and data-area erase.
PROGRAM_MEDIA_STATUS VxMp3BuildBlockStatus(win::ULONG* sizeIndexes, win::UCHAR slot, int reserved,
                                           _BinaryFilesInformation* files, win::HANDLE phaseEvent);
PROGRAM_MEDIA_STATUS VxMp3FatEraseDataArea(win::ULONG* sizeIndexes, win::UCHAR slot, win::HANDLE phaseEvent);
int VxMp3FreeMemoryDevice(win::UCHAR slot);
win::UCHAR VxMp3FatPrepareSupported(win::UCHAR slot);

// File system.
PROGRAM_MEDIA_STATUS VxMp3QuickFormatQorv(win::ULONG* sizeIndexes, win::UCHAR slot, int reserveFlag,
                                          _BinaryFilesInformation* files, win::HANDLE phaseEvent);

// System area.
PROGRAM_MEDIA_STATUS VxMp3ProgramQorvMedia(win::ULONG* sizeIndexes, win::UCHAR slot, win::UCHAR** files,
                                           win::ULONG* fileLengths, win::UCHAR** companions,
                                           win::ULONG* companionLengths, _BinaryFilesInformation* set,
                                           win::HANDLE phaseEvent);
PROGRAM_MEDIA_STATUS VxMp3FatFormatEx(win::ULONG* sizeIndexes, win::UCHAR slot, int writeFiles,
                                      win::UCHAR** files, win::ULONG* fileLengths, win::UCHAR** companions,
                                      win::ULONG* companionLengths, _BinaryFilesInformation* set,
                                      win::HANDLE phaseEvent);

// Firmware versions.
PROGRAM_MEDIA_STATUS VxMp3GetFirmwareVersion(win::ULONG* sizeIndexes, win::UCHAR slot,
                                             _BinaryFilesInformation* set);
PROGRAM_MEDIA_STATUS VxMp3GetFileVersion(win::UCHAR** files, win::ULONG* fileLengths,
                                         _BinaryFilesInformation* set);

// Progress and phases.
int VxMp3SetPhase(win::ULONG phase, double percent, win::HANDLE phaseEvent);
int VxMp3SetProgress(double percent);
int VxMp3GetProgress(double* progress, win::ULONG* phase);

// Memory card commands.
int VxMp3MMCDetectMedia(win::UCHAR card, win::ULONG* sectors, win::UCHAR* status, win::UCHAR* property,
                        win::UCHAR* eraseGroup);
int VxMp3MMCReadStatus(win::UCHAR card, win::USHORT* cardStatus);
int VxMp3MMCReadCID(win::UCHAR card, _MMC_CID* cid, win::UCHAR* status);
int VxMp3MMCReadOCR(win::UCHAR card, win::ULONG* ocr, win::UCHAR* status);
int VxMp3MMCReadCSD(win::UCHAR card, _MMC_CSD* csd, win::UCHAR* status);
int VxMp3MMCProgramCSD(win::UCHAR card, _MMC_CSD* csd, win::UCHAR* status);
int VxMp3MMCReadBlock(win::UCHAR card, win::ULONG sector, win::UCHAR* data);
int VxMp3MMCReadMultipleBlock(win::UCHAR card, win::ULONG sector, win::USHORT count, win::UCHAR* data);
int VxMp3MMCWriteBlock(win::UCHAR card, win::ULONG sector, win::UCHAR* data);
int VxMp3MMCWriteMultipleBlock(win::UCHAR card, win::ULONG sector, win::USHORT count, win::UCHAR* data);
int VxMp3MMCErase(win::UCHAR card, win::ULONG start, win::ULONG count, win::UCHAR* status);
int VxMp3MMCEraseFileSystemSectors(win::UCHAR card, win::ULONG sectors, double* progress);
int VxMp3MMCEraseAllBlocks(win::UCHAR card, win::ULONG sectors, double* progress);
int VxMp3MMCFormat(win::UCHAR card, win::ULONG sectors, double* progress);
