// `rpxsim player new|info|disk`: a player's files, made and read without a machine's drivers.
#include "machine/rpxsim/player_command.h"

#include <fstream>

#include "machine/rpxsim/session.h"
#include "media_format/mapped_file.h"
#include "media_format/medium_reader.h"
#include "player/new_player.h"
#include "player/player_info.h"
#include "tools/common/configuration_store.h"

namespace rpxsim {

namespace {

std::vector<std::uint32_t> ParseBlockList(const std::string& text) {
    std::vector<std::uint32_t> blocks;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        blocks.push_back(static_cast<std::uint32_t>(ParseNumber(text.substr(start, end - start), "--bad")));
        start = end + 1;
    }
    return blocks;
}

int RunNew(Invocation& invocation) {
    auto& args = invocation.args;
    player::NewPlayerRequest request;
    request.mediumPath = args.Next("player file");
    auto size = args.NumberOption("size");
    if (!size) {
        throw UsageError("player new needs --size MB");
    }
    request.megabytes = static_cast<std::uint32_t>(*size);
    if (auto variant = args.Option("variant")) {
        if (*variant != "8200" && *variant != "8210") {
            throw UsageError("--variant takes 8200 or 8210, not '" + *variant + "'");
        }
        request.variant =
            *variant == "8200" ? player::ChipVariant::VARIANT_8200 : player::ChipVariant::VARIANT_8210;
    }
    if (auto bad = args.Option("bad")) {
        request.badBlocks = ParseBlockList(*bad);
    }
    if (auto card = args.Option("card")) {
        request.cardPath = *card;
    }
    if (auto sectors = args.NumberOption("card-sectors")) {
        if (request.cardPath.empty()) {
            throw UsageError("--card-sectors goes with --card");
        }
        request.cardSectors = static_cast<std::uint32_t>(*sectors);
    }
    args.ExpectEnd();
    std::string error;
    if (!player::CreateNewPlayer(request, error)) {
        invocation.err << "rpxsim: " << error << "\n";
        return 1;
    }
    invocation.out << "created a " << request.megabytes << " MB player in " << request.mediumPath << "\n";
    return 0;
}

int RunInfo(Invocation& invocation) {
    std::string path = invocation.args.Next("player file");
    invocation.args.ExpectEnd();
    std::string error;
    auto text = player::DescribePlayer(path, error);
    if (!text) {
        invocation.err << "rpxsim: " << error << "\n";
        return 1;
    }
    invocation.out << *text;
    return 0;
}

int RunDisk(Invocation& invocation) {
    auto& args = invocation.args;
    std::string path = args.Next("player file");
    std::string output = args.Next("output image");
    auto reservedKb = args.NumberOption("reserved-kb");
    args.ExpectEnd();
    if (!reservedKb) {
        // The reservation the machine's configuration asks for, as the miniport reads it.
        auto booted = BootMachine(invocation);
        platform::ProcessScope process(booted->Pc(), "rpxsim");
        reservedKb = tools::ReadTotalKiloBytesReserved();
    }

    std::string error;
    auto mapped = media_format::MappedFile::Open(path, media_format::MappedFile::Access::ReadOnly, error);
    auto reader = mapped ? media_format::MediumReader::Open(mapped->Bytes(),
                                                            static_cast<std::uint32_t>(*reservedKb), error)
                         : std::nullopt;
    if (!reader) {
        invocation.err << "rpxsim: " << error << "\n";
        return 1;
    }
    std::ofstream image(output, std::ios::binary | std::ios::trunc);
    auto report = image ? reader->WriteDisk(image) : std::nullopt;
    if (image) {
        image.close();
    }
    if (!report || !image) {
        invocation.err << "rpxsim: cannot write " << output << "\n";
        return 1;
    }
    invocation.out << "wrote " << report->sectors << " sectors to " << output << " (" << report->unmapped
                   << " unmapped, " << report->corrected << " corrected, " << report->uncorrectable
                   << " uncorrectable, " << report->badStatus << " with a bad status)\n";
    return report->AllReadable() ? 0 : 1;
}

}  // namespace

int RunPlayer(Invocation& invocation) {
    std::string action = invocation.args.Next("player action (new, info or disk)");
    if (action == "new")
        return RunNew(invocation);
    if (action == "info")
        return RunInfo(invocation);
    if (action == "disk")
        return RunDisk(invocation);
    throw UsageError("unknown player action '" + action + "' (new, info or disk)");
}

}  // namespace rpxsim
