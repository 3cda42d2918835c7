// The checks every host program makes of the system it runs on.
#pragma once

namespace tools {

// The system reports the NT platform (Windows 2000, XP).
bool IsNtPlatform();

// Major version 4 with minor version at most 10, whatever the platform: Windows 95 and 98 (and
// NT 4.0); not Windows Me (4.90), 2000 or XP (5.x).
bool IsWin98OrEarlier();

// The system drive's volume opens for reading and writing with read and write sharing; the
// handle is closed at once. On the NT family this is the programs' test for administrator rights.
bool HasRawDiskAccess();

}  // namespace tools
