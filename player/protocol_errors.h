// Protocol errors the player met: a device answers malformed input by not answering, so the host only
// sees a time-out; the player records what was wrong for tests to assert on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace player {

enum class ProtocolErrorKind {
    UNKNOWN_COMMAND,     // no command of that class and opcode (or not in this firmware)
    WRONG_LENGTH,        // packet shorter, or in strict mode longer, than the command's
    WRONG_FLAGS,         // strict mode: the flags byte is not the one the firmware expects
    BAD_FIELD,           // a field holds a value the command does not accept
    OUT_OF_RANGE,        // an address or count outside the medium
    NO_MEDIUM,           // the command addresses a medium that is not there
    DATA_PHASE_SIZE,     // a data write larger than what the command still expects
    READ_WITHOUT_REPLY,  // a read when no reply is pending
    REPLY_DISCARDED,     // a new packet arrived before the previous reply was read in full
};

const char* ProtocolErrorKindName(ProtocolErrorKind kind);

struct ProtocolError {
    ProtocolErrorKind kind;
    std::uint64_t packet;  // number of the command packet it concerns (from 1), 0 before any
    std::string detail;
};

using ProtocolErrorLog = std::vector<ProtocolError>;

}  // namespace player
