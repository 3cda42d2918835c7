#include "player/protocol_errors.h"

namespace player {

const char* ProtocolErrorKindName(ProtocolErrorKind kind) {
    switch (kind) {
        case ProtocolErrorKind::UNKNOWN_COMMAND:
            return "unknown command";
        case ProtocolErrorKind::WRONG_LENGTH:
            return "wrong length";
        case ProtocolErrorKind::WRONG_FLAGS:
            return "wrong flags";
        case ProtocolErrorKind::BAD_FIELD:
            return "bad field";
        case ProtocolErrorKind::OUT_OF_RANGE:
            return "out of range";
        case ProtocolErrorKind::NO_MEDIUM:
            return "no medium";
        case ProtocolErrorKind::DATA_PHASE_SIZE:
            return "data phase size";
        case ProtocolErrorKind::READ_WITHOUT_REPLY:
            return "read without reply";
        case ProtocolErrorKind::REPLY_DISCARDED:
            return "reply discarded";
    }
    return "unknown";
}

}  // namespace player
