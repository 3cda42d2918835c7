// The channel: device names and the instance search, USER_DATA around the opens and the close,
// the read rounding through the bounce buffer, time-outs, reconfigure and the control queries.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "library/VxMp3.h"
#include "library/tests/library_fixture.h"
#include "library/tests/scripted_device.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

using vxmp3_test::DeviceScript;
using vxmp3_test::PlayerScenario;
using namespace win;

// A machine whose only control device is the scripted one.
class ScriptedScenario : public ::testing::Test {
  protected:
    ScriptedScenario() : pc_(platform::PlatformConfig::Of(platform::OsFlavour::WinXp)), scope_(pc_, "tool") {
        EXPECT_TRUE(vxmp3_test::InstallScriptedDevice(pc_.Kern(), script_));
    }
    ~ScriptedScenario() override { VxMp3CloseDriver(); }

    DeviceScript script_;
    platform::Platform pc_;
    platform::ProcessScope scope_;
};

// What the library asks the machine to open, with no device of any name present.
struct OpenRequest {
    std::string name;
    std::uint32_t access;
    std::uint32_t share;
    std::uint32_t flags;
};

struct NameCase {
    platform::OsFlavour flavour;
    DEVICE_STATUS mode;
    const char* prefix;
};

class DeviceNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceNames, ASearchTriesAHundredNamesOfTheFlavourAndMode) {
    platform::Platform pc(platform::PlatformConfig::Of(GetParam().flavour));
    platform::ProcessScope scope(pc, "tool");
    std::vector<OpenRequest> requests;
    pc.SetDeviceOpener([&](const std::string& name, std::uint32_t access, std::uint32_t share,
                           std::uint32_t flags,
                           std::uint32_t* error) -> std::shared_ptr<platform::HandleObject> {
        requests.push_back({name, access, share, flags});
        *error = 2;
        return nullptr;
    });
    EXPECT_EQ(VxMp3OpenDriver(GetParam().mode), 0);
    ASSERT_EQ(requests.size(), 100u);
    for (std::size_t instance = 0; instance < requests.size(); ++instance) {
        EXPECT_EQ(requests[instance].name, GetParam().prefix + std::to_string(instance));
        EXPECT_EQ(requests[instance].access, w32::GENERIC_READ | w32::GENERIC_WRITE);
        EXPECT_EQ(requests[instance].share, w32::FILE_SHARE_READ);
        EXPECT_EQ(requests[instance].flags, w32::FILE_FLAG_OVERLAPPED);
    }
    EXPECT_TRUE(pc.Trace().Contains("CreateFile failed with error: 2\n", "debug"));

    // Without the search, the one instance given, taken as a signed number.
    requests.clear();
    EXPECT_EQ(VxMp3OpenDriverNoBlock(static_cast<CHAR>(-1), GetParam().mode), 0);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].name, GetParam().prefix + std::string("-1"));
    EXPECT_EQ(VxMp3CloseDriver(), 0);  // nothing was open
}

INSTANTIATE_TEST_SUITE_P(
    Flavours, DeviceNames,
    ::testing::Values(NameCase{platform::OsFlavour::Win95, DEVICE_STATUS_NORMAL, "ZPRPX73u"},
                      NameCase{platform::OsFlavour::Win98, DEVICE_STATUS_NONE, "ZPRPX73u"},
                      NameCase{platform::OsFlavour::WinMe, DEVICE_STATUS_NORMAL, "ZPRPX73r"},
                      NameCase{platform::OsFlavour::Win2000, DEVICE_STATUS_NORMAL, "ZPRPX73r"},
                      NameCase{platform::OsFlavour::WinXp, DEVICE_STATUS_NO_DATA, "ZPRPX73r"},
                      NameCase{platform::OsFlavour::Win98, DEVICE_STATUS_RECOVERY, "VxMp3RecDevice"},
                      NameCase{platform::OsFlavour::WinXp, DEVICE_STATUS_RECOVERY, "VxMp3RecDevice"}),
    [](const auto& testCase) {
        return std::string("Windows") + platform::VersionOf(testCase.param.flavour).option + "Mode" +
               std::to_string(testCase.param.mode);
    });

class ChannelScenario : public PlayerScenario, public ::testing::WithParamInterface<platform::OsFlavour> {};

TEST_P(ChannelScenario, UserDataAroundSharedAndExclusiveOpens) {
    Boot(GetParam());
    USER_DATA userData{};
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NORMAL), 1);
    ASSERT_EQ(VxMp3GetStatus(&userData), 1);
    EXPECT_EQ(userData.exclusiveAccess, 0u);
    EXPECT_EQ(userData.mediaChanged, 0u);
    EXPECT_EQ(userData.removalAllowed, 1u);
    USER_DATA preventRemoval{0, 0, 0, 0};
    ASSERT_EQ(VxMp3SetStatus(&preventRemoval), 1);
    EXPECT_EQ(VxMp3OpenDriverEx(0, DEVICE_STATUS_NORMAL), 0);  // a second open is refused
    ASSERT_EQ(VxMp3CloseDriver(), 1);

    // A shared open and its close leave the words alone.
    ASSERT_EQ(VxMp3OpenDriverNoBlockEx(DEVICE_STATUS_NONE), 1);
    ASSERT_EQ(VxMp3GetStatus(&userData), 1);
    EXPECT_EQ(userData.exclusiveAccess, 0u);
    EXPECT_EQ(userData.removalAllowed, 0u);
    ASSERT_EQ(VxMp3CloseDriver(), 1);

    // An exclusive open writes 1, 0, 1; marking the medium changed keeps exclusive access; the close
    // clears word 0 only.
    ASSERT_EQ(VxMp3OpenDriver(DEVICE_STATUS_NORMAL), 1);
    ASSERT_EQ(VxMp3GetStatus(&userData), 1);
    EXPECT_EQ(userData.exclusiveAccess, 1u);
    EXPECT_EQ(userData.mediaChanged, 0u);
    EXPECT_EQ(userData.removalAllowed, 1u);
    ASSERT_EQ(VxMp3DDSetFormatStatus(1), 1);
    ASSERT_EQ(VxMp3CloseDriver(), 1);
    EXPECT_EQ(VxMp3CloseDriver(), 0);  // already closed

    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    ASSERT_EQ(VxMp3GetStatus(&userData), 1);
    EXPECT_EQ(userData.exclusiveAccess, 0u);
    EXPECT_EQ(userData.mediaChanged, 1u);
    EXPECT_EQ(userData.removalAllowed, 1u);
    EXPECT_TRUE(player_->ProtocolErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Flavours, ChannelScenario,
                         ::testing::Values(platform::OsFlavour::Win98, platform::OsFlavour::WinXp),
                         [](const auto& testCase) {
                             return std::string("Windows") + platform::VersionOf(testCase.param).option;
                         });

TEST_F(ScriptedScenario, AShortReadIsRoundedThroughTheBounceBufferALongOneIsNot) {
    for (ULONG i = 0; i < 4096; ++i) {
        script_.reply.push_back(static_cast<UCHAR>(i + 1));
    }
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    EXPECT_EQ(script_.creates, 1);
    std::vector<UCHAR> buffer(4096, 0xEE);
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 3), 1);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(buffer[3], 0xEE);  // only the asked bytes are copied
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 1536), 1);
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 4000), 1);
    EXPECT_EQ(script_.readLengths, (std::vector<ULONG>{64, 1536, 4032}));

    // A rounded read that would not fit the bounce buffer is refused without a request.
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 4097), 0);
    EXPECT_EQ(VxMp3DDRead(nullptr, 64), 0);
    EXPECT_EQ(script_.readLengths.size(), 3u);

    // Fewer bytes than asked fail, rounded or not.
    script_.reply.resize(32);
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 3), 0);
    EXPECT_EQ(VxMp3DDRead(buffer.data(), 64), 0);
    std::array<UCHAR, 6> packet{0x06, 0x01, 0x80, 0, 0, 0};
    EXPECT_EQ(VxMp3DDWrite(packet.data(), 6), 1);
    EXPECT_EQ(script_.writeLengths, (std::vector<ULONG>{6}));
}

TEST_F(ScriptedScenario, ReconfigureGivesUpAfterElevenRequests) {
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    script_.refuseReconfigure = true;
    auto start = pc_.Sched().NowMs();
    EXPECT_EQ(VxMp3DDReconfigure(), 0);
    EXPECT_EQ(script_.reconfigureRequests, 11);
    EXPECT_EQ(pc_.Sched().NowMs() - start, 2750u);

    script_.refuseReconfigure = false;
    start = pc_.Sched().NowMs();
    EXPECT_EQ(VxMp3DDReconfigure(), 1);
    EXPECT_EQ(script_.reconfigureRequests, 12);
    EXPECT_EQ(pc_.Sched().NowMs() - start, 250u);
}

struct DeviceStatusCase {
    const char* name;
    ULONG value;
    ULONG bytes;
    bool refused;
    DEVICE_STATUS expected;
};

class DeviceStatusMapping : public ScriptedScenario,
                            public ::testing::WithParamInterface<DeviceStatusCase> {};

TEST_P(DeviceStatusMapping, Maps) {
    script_.deviceStatus = GetParam().value;
    script_.deviceStatusBytes = GetParam().bytes;
    script_.refuseDeviceStatus = GetParam().refused;
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    EXPECT_EQ(VxMp3GetDeviceStatus(), GetParam().expected);
    EXPECT_EQ(VxMp3DDGetDeviceStatus(), static_cast<ULONG>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Answers, DeviceStatusMapping,
                         ::testing::Values(DeviceStatusCase{"One", 1, 4, false, DEVICE_STATUS_NORMAL},
                                           DeviceStatusCase{"Zero", 0, 4, false, DEVICE_STATUS_RECOVERY},
                                           DeviceStatusCase{"Six", 6, 4, false, DEVICE_STATUS_RECOVERY},
                                           DeviceStatusCase{"Max", 255, 4, false, DEVICE_STATUS_RECOVERY},
                                           DeviceStatusCase{"Empty", 1, 0, false, DEVICE_STATUS_NO_DATA},
                                           DeviceStatusCase{"Failed", 1, 4, true, DEVICE_STATUS_NONE}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(ScriptedScenario, ChipIdFallsBackWhenTheDriverRefuses) {
    script_.refuseChipId = true;
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    EXPECT_EQ(VxMp3DDGetChipId(), 0x2F4D8210u);
    EXPECT_EQ(VxMp3GetChipId(0), 0x2F4D8210u);
}

TEST_F(PlayerScenario, APlayerThatNeverAnswersIsCancelledAfterOneSecond) {
    player::PlayerOptions options;
    options.faults.unansweredPackets = {1};
    Boot(platform::OsFlavour::WinXp, options);
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NONE), 1);
    ULONG status = 77;
    auto start = NowMs();
    EXPECT_EQ(VxMp3GetPowerStatus(&status), ACCESS_DEVICE_FAILED);
    EXPECT_EQ(NowMs() - start, 1000u);  // the write takes microseconds; the read waits out the second
    EXPECT_EQ(status, 77u);
    // The cancelled read is finished with: the next exchange gets its own reply.
    EXPECT_EQ(VxMp3GetPowerStatus(&status), ACCESS_DEVICE_OK);
    EXPECT_EQ(status, 0u);
}

TEST_F(PlayerScenario, AShortReplyFails) {
    player::PlayerOptions options;
    options.faults.shortReplies = {{2, 2}};  // packet 1 is the parameter list of the open
    Boot(platform::OsFlavour::WinXp, options);
    ASSERT_EQ(VxMp3OpenDriverNoBlock(0, DEVICE_STATUS_NORMAL), 1);
    ULONG sizeIndex = 0;
    ULONG failed = 0;
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_FAILED);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(VxMp3GetFlashSizes(&sizeIndex, &failed), ACCESS_DEVICE_OK);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(sizeIndex, 4u);
}

TEST_F(PlayerScenario, ExportsOnAClosedChannelFail) {
    Boot(platform::OsFlavour::WinXp);
    USER_DATA userData{};
    ULONG value = 0;
    UCHAR byte = 0;
    EXPECT_EQ(VxMp3GetStatus(&userData), 0);
    EXPECT_EQ(VxMp3GetDeviceStatus(), DEVICE_STATUS_NONE);
    EXPECT_EQ(VxMp3GetDeviceVersion(&value), 0);
    EXPECT_EQ(VxMp3GetPowerStatus(&value), ACCESS_DEVICE_FAILED);
    EXPECT_EQ(VxMp3DDWrite(&byte, 1), 0);
    EXPECT_EQ(VxMp3DDRead(&byte, 1), 0);
    EXPECT_EQ(VxMp3DDSetFormatStatus(1), 0);
}

}  // namespace
