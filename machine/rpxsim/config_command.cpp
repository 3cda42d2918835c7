// `rpxsim config`: what the host tools read of the machine's configuration, through their own
// readers inside the machine, one name=value line each.
#include "machine/rpxsim/config_command.h"

#include <cstdio>
#include <limits>

#include "machine/rpxsim/session.h"
#include "tools/common/binary_files.h"
#include "tools/common/chip_variant.h"
#include "tools/common/configuration_store.h"

namespace rpxsim {

namespace {

std::string SourceText(const tools::FileSetRead& read) {
    switch (read.source) {
        case tools::FileSetSource::REGISTRY:
            return "registry";
        case tools::FileSetSource::BUILT_IN:
            return "built-in set";
        case tools::FileSetSource::INCOMPLETE:
            return "registry, incomplete: " + read.failedValue + " is missing or of the wrong size";
        case tools::FileSetSource::TOO_MANY_FILES:
            return "registry, refused: " + read.failedValue + " is above 12";
    }
    return {};
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

void PrintFileSet(std::ostream& out, const _BinaryFilesInformation& files) {
    out << "numberOfBinaryFiles=" << files.numberOfBinaryFiles << "\n";
    for (win::ULONG i = 0; i < files.numberOfBinaryFiles && i < MAX_BINARY_FILES; ++i) {
        const std::string file = "file" + std::to_string(i + 1) + ".";
        out << file << "name=" << files.fileName[i] << "\n"
            << file << "description=" << files.fileDescription[i] << "\n"
            << file << "tag=" << Hex2(files.fileTag[i]) << "\n"
            << file << "formatType=" << files.fileFormatType[i] << "\n";
    }
    out << "bootManagerFileNumber=" << files.bootManagerFileNumber << "\n"
        << "recoveryFileNumber=" << files.recoveryFileNumber << "\n"
        << "playerFileNumber=" << files.playerFileNumber << "\n";
}

}  // namespace

int RunConfig(Invocation& invocation) {
    auto chip = invocation.args.NumberOption("chip").value_or(tools::CHIP_8200);
    if (chip > std::numeric_limits<win::DWORD>::max()) {
        throw UsageError("--chip takes a 32-bit chip id, not " + std::to_string(chip));
    }
    invocation.args.ExpectEnd();
    auto booted = BootMachine(invocation);

    platform::ProcessScope scope(booted->Pc(), "rpxsim");
    const auto chipId = static_cast<win::DWORD>(chip);
    char folder[BINARY_FILE_TEXT_SIZE];
    const bool haveFolder = tools::ReadInstallFolder(folder, sizeof folder);
    _BinaryFilesInformation files;
    const tools::FileSetRead read = tools::ReadBinaryFiles(chipId, &files);

    auto& out = invocation.out;
    out << "installFolder=" << (haveFolder ? folder : "(none)") << "\n"
        << "totalKiloBytesReserved=" << tools::ReadTotalKiloBytesReserved() << "\n"
        << "defaultQuickUpdate=" << (tools::ReadDefaultQuickUpdate() ? 1 : 0) << "\n"
        << "chipId=" << chipId << " (file set of the " << tools::ChipVariantOf(chipId) << ")\n"
        << "source=" << SourceText(read) << "\n";
    PrintFileSet(out, files);
    return 0;
}

}  // namespace rpxsim
