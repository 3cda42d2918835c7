// The platform checks on every flavour, for an administrator and for a limited user.
#include "tools/common/platform_checks.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace tools {
namespace {

using platform::OsFlavour;

struct CheckCase {
    OsFlavour flavour;
    bool administrator;
    bool ntPlatform;
    bool win98OrEarlier;
    bool rawDiskAccess;
};

class PlatformChecksTest : public ::testing::TestWithParam<CheckCase> {
  protected:
    static platform::PlatformConfig ConfigOf(const CheckCase& check) {
        auto config = platform::PlatformConfig::Of(check.flavour);
        config.userIsAdministrator = check.administrator;
        return config;
    }

    platform::Platform pc_{ConfigOf(GetParam())};
    platform::ProcessScope process_{pc_, "tool"};
};

TEST_P(PlatformChecksTest, ReportTheSystemAndTheUsersRights) {
    EXPECT_EQ(IsNtPlatform(), GetParam().ntPlatform);
    EXPECT_EQ(IsWin98OrEarlier(), GetParam().win98OrEarlier);
    EXPECT_EQ(HasRawDiskAccess(), GetParam().rawDiskAccess);
    EXPECT_EQ(w32::GetLastError(), GetParam().rawDiskAccess ? w32::ERROR_SUCCESS : w32::ERROR_ACCESS_DENIED);
    // The check leaves no handle open.
    EXPECT_EQ(process_.Proc().HandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Flavours, PlatformChecksTest,
                         ::testing::Values(CheckCase{OsFlavour::Win95, true, false, true, true},
                                           CheckCase{OsFlavour::Win95, false, false, true, true},
                                           CheckCase{OsFlavour::Win98, true, false, true, true},
                                           CheckCase{OsFlavour::Win98, false, false, true, true},
                                           CheckCase{OsFlavour::WinMe, true, false, false, true},
                                           CheckCase{OsFlavour::WinMe, false, false, false, true},
                                           CheckCase{OsFlavour::Win2000, true, true, false, true},
                                           CheckCase{OsFlavour::Win2000, false, true, false, false},
                                           CheckCase{OsFlavour::WinXp, true, true, false, true},
                                           CheckCase{OsFlavour::WinXp, false, true, false, false}));

struct VolumeOpenCase {
    const char* path;
    bool administrator;
    w32::DWORD access;
    w32::DWORD error;  // ERROR_SUCCESS when it opens
};

class VolumeOpenTest : public ::testing::TestWithParam<VolumeOpenCase> {
  protected:
    static platform::PlatformConfig ConfigOf(const VolumeOpenCase& open) {
        auto config = platform::PlatformConfig::Of(OsFlavour::WinXp);
        config.userIsAdministrator = open.administrator;
        return config;
    }

    platform::Platform pc_{ConfigOf(GetParam())};
    platform::ProcessScope process_{pc_, "tool"};
};

TEST_P(VolumeOpenTest, TheSystemVolumeOpensByItsRights) {
    using namespace w32;
    HANDLE volume = CreateFileA(GetParam().path, GetParam().access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(volume != INVALID_HANDLE_VALUE, GetParam().error == ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), GetParam().error);
    if (volume != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(volume));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Opens, VolumeOpenTest,
    ::testing::Values(VolumeOpenCase{"\\\\.\\C:", true, w32::GENERIC_READ | w32::GENERIC_WRITE,
                                     w32::ERROR_SUCCESS},
                      VolumeOpenCase{"\\\\.\\C:", false, w32::GENERIC_READ, w32::ERROR_ACCESS_DENIED},
                      VolumeOpenCase{"\\\\.\\c:", false, w32::GENERIC_WRITE, w32::ERROR_ACCESS_DENIED},
                      // A query-only open asks for no data access and needs no rights.
                      VolumeOpenCase{"\\\\.\\c:", false, 0, w32::ERROR_SUCCESS},
                      // Another drive is not the system volume; without a kernel nothing serves it.
                      VolumeOpenCase{"\\\\.\\D:", true, w32::GENERIC_READ, w32::ERROR_FILE_NOT_FOUND}));

}  // namespace
}  // namespace tools
