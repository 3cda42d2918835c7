#include "tools/common/configuration_store.h"

#include <cstdio>

#include "media_format/reserved_area.h"
#include "tools/common/chip_variant.h"
#include "tools/common/configuration_key.h"

namespace tools {

using namespace w32;

bool ReadInstallFolder(char* buffer, DWORD size) {
    ConfigurationKey params(kParamsKeyPath);
    // An empty folder would turn every firmware path into one at the root of the drive.
    return params.ReadString("Install Folder", buffer, size) && buffer[0] != '\0';
}

DWORD ReadTotalKiloBytesReserved() {
    ConfigurationKey params(kParamsKeyPath);
    DWORD kiloBytes = 0;
    return params.ReadNumber("TotalKiloBytesReserved", &kiloBytes) ? kiloBytes : 0;
}

std::uint32_t ReservedBlockCount(std::uint32_t bytesPerPage, std::uint32_t pagesPerBlock) {
    return media_format::ReservedBlockCount(ReadTotalKiloBytesReserved(), bytesPerPage, pagesPerBlock);
}

bool ReadDefaultQuickUpdate() {
    ConfigurationKey params(kParamsKeyPath);
    DWORD quickUpdate = 1;
    return !params.ReadNumber("DefaultQuickUpdate", &quickUpdate) || quickUpdate != 0;
}

std::string UsbIdValueName(std::uint16_t vendorId, std::uint16_t productId) {
    char name[32];
    std::snprintf(name, sizeof name, "VID_%04x&PID_%04x", vendorId, productId);
    return name;
}

bool ReadChipVariantOfUsbId(const char* valueName, DWORD* chipId) {
    if (valueName == nullptr || chipId == nullptr) {
        return false;
    }
    ConfigurationKey params(kParamsKeyPath);
    if (!params.IsOpen()) {
        *chipId = CHIP_8210;
        return false;
    }
    return params.ReadNumber(valueName, chipId);
}

}  // namespace tools
