// The text of `rpxsim player info`: the medium's geometry, its bad blocks and block states as the
// redundant areas tell them, and the player's settings and card.
#pragma once

#include <optional>
#include <string>

namespace player {

std::optional<std::string> DescribePlayer(const std::string& mediumPath, std::string& error);

}  // namespace player
