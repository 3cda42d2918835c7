// The bench link: a player's firmware as a control device, with the control codes, the packet
// traffic in simulated time, cancellation and unplugging.
#include <gtest/gtest.h>

#include <cstring>

#include "library/VxMp3.h"
#include "machine/bench_link/bench_link.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "player/tests/test_support.h"

namespace {

using namespace w32;

class BenchLinkTest : public ::testing::Test {
  protected:
    explicit BenchLinkTest(platform::OsFlavour flavour = platform::OsFlavour::WinXp)
        : machine_(platform::PlatformConfig::Of(flavour)),
          scope_(machine_, "test"),
          player_(MakeTestPlayer()) {
        EXPECT_TRUE(machine::BenchLink::Install(machine_.Kern()));
        unit_ = machine::BenchLink::Attach(machine_.Kern(), player_);
        EXPECT_EQ(unit_, 0u);
    }

    void TearDown() override {
        machine_.Kern().Shutdown();
        EXPECT_EQ(machine_.Kern().LastBugcheck(), "");
    }

    player::Player MakeTestPlayer() { return player::testing::MakePlayer(folder_, 16); }

    HANDLE Open(const char* name) {
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    }

    player::testing::TempFolder folder_;
    platform::Platform machine_;
    platform::ProcessScope scope_;
    player::Player player_;
    std::optional<unsigned> unit_;
};

// One overlapped transfer the way the library makes it: start, wait alertably, read the result.
struct Transfer {
    DWORD error = 0xFFFFFFFF;
    DWORD bytes = 0;
    bool done = false;
};

void CALLBACK_Complete(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
    auto* transfer = reinterpret_cast<Transfer*>(overlapped->hEvent);
    transfer->error = error;
    transfer->bytes = bytes;
    transfer->done = true;
}

Transfer Write(HANDLE device, const std::vector<std::uint8_t>& bytes, DWORD timeoutMs = 1000) {
    Transfer transfer;
    OVERLAPPED overlapped{};
    overlapped.hEvent = &transfer;
    EXPECT_TRUE(
        WriteFileEx(device, bytes.data(), static_cast<DWORD>(bytes.size()), &overlapped, CALLBACK_Complete));
    while (!transfer.done && SleepEx(timeoutMs, TRUE) == WAIT_IO_COMPLETION) {
    }
    return transfer;
}

Transfer Read(HANDLE device, std::vector<std::uint8_t>& bytes, DWORD timeoutMs = 1000) {
    Transfer transfer;
    OVERLAPPED overlapped{};
    overlapped.hEvent = &transfer;
    EXPECT_TRUE(
        ReadFileEx(device, bytes.data(), static_cast<DWORD>(bytes.size()), &overlapped, CALLBACK_Complete));
    if (SleepEx(timeoutMs, TRUE) != WAIT_IO_COMPLETION) {
        CancelIo(device);
        SleepEx(0, TRUE);
    }
    return transfer;
}

TEST_F(BenchLinkTest, ControlCodesAnswerAsTheUsbDriverDoes) {
    HANDLE device = Open("\\\\.\\ZPRPX73r0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD words[4] = {9, 9, 9, 9};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(device, IOCTL_VXMP3_GET_STATUS, nullptr, 0, words, 16, &returned, nullptr));
    EXPECT_EQ(returned, 16u);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(words[2], 1u);

    DWORD exclusive[4] = {1, 0, 1, 0};
    ASSERT_TRUE(
        DeviceIoControl(device, IOCTL_VXMP3_SET_STATUS, exclusive, 16, nullptr, 0, &returned, nullptr));
    ASSERT_TRUE(DeviceIoControl(device, IOCTL_VXMP3_GET_STATUS, nullptr, 0, words, 16, &returned, nullptr));
    EXPECT_EQ(words[0], 1u);

    struct Query {
        DWORD code;
        DWORD expected;
    };
    for (Query query :
         {Query{IOCTL_VXMP3_GET_DEVICE_VERSION, 0x0100}, Query{IOCTL_VXMP3_GET_DEVICE_STATUS, 1},
          Query{IOCTL_VXMP3_GET_CHIP_ID, 0x3A6E0C08}}) {
        DWORD value = 0;
        ASSERT_TRUE(DeviceIoControl(device, query.code, nullptr, 0, &value, 4, &returned, nullptr))
            << query.code;
        EXPECT_EQ(returned, 4u);
        EXPECT_EQ(value, query.expected) << std::hex << query.code;
    }

    // Short buffers and unknown codes are refused with an invalid parameter.
    struct Refused {
        DWORD code;
        DWORD inSize;
        DWORD outSize;
    };
    for (Refused refused :
         {Refused{IOCTL_VXMP3_GET_STATUS, 0, 12}, Refused{IOCTL_VXMP3_SET_STATUS, 8, 0},
          Refused{IOCTL_VXMP3_GET_CHIP_ID, 0, 2}, Refused{0x222024, 16, 16}, Refused{0x22200C, 0, 8}}) {
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(device, refused.code, words, refused.inSize, words, refused.outSize,
                                     &returned, nullptr))
            << std::hex << refused.code;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << std::hex << refused.code;
    }
    CloseHandle(device);
}

TEST_F(BenchLinkTest, PacketsTakeThePlayersSimulatedTime) {
    HANDLE device = Open("\\\\.\\ZPRPX73u0");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    // The same exchange on a twin player gives the time each transfer must take.
    player::testing::TempFolder twinFolder;
    player::Player twin = player::testing::MakePlayer(twinFolder, 16);
    const std::vector<std::uint8_t> powerStatus{0x0A, 0x00, 0x00};
    auto writeTime = twin.HandleBulkOut(powerStatus).time.Total().count();
    auto readTime = twin.HandleBulkIn(64).time.Total().count();
    auto inHundreds = [](std::int64_t ns) { return (ns + 99) / 100 * 100; };

    std::uint64_t start = machine_.Sched().NowNs();
    Transfer written = Write(device, powerStatus);
    EXPECT_EQ(written.error, 0u);
    EXPECT_EQ(written.bytes, 3u);
    EXPECT_EQ(machine_.Sched().NowNs() - start, static_cast<std::uint64_t>(inHundreds(writeTime)));

    std::vector<std::uint8_t> reply(64, 0xEE);
    Transfer read = Read(device, reply);
    EXPECT_EQ(read.error, 0u);
    EXPECT_EQ(read.bytes, 64u);
    EXPECT_EQ(reply[0], 0u);  // power good
    EXPECT_EQ(machine_.Sched().NowNs() - start,
              static_cast<std::uint64_t>(inHundreds(writeTime) + inHundreds(readTime)));
    EXPECT_TRUE(player_.ProtocolErrors().empty());
    CloseHandle(device);
}

TEST_F(BenchLinkTest, AReadWithNoReplyWaitsUntilCancelled) {
    HANDLE device = Open("\\\\.\\ZPRPX73u0");
    std::vector<std::uint8_t> reply(64);
    std::uint64_t startMs = machine_.Sched().NowMs();
    Transfer read = Read(device, reply, 1000);
    EXPECT_TRUE(read.done);
    EXPECT_EQ(read.error, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(machine_.Sched().NowMs() - startMs, 1000u);
    EXPECT_FALSE(player_.ProtocolErrors().empty());  // the player saw a read with nothing pending
    CloseHandle(device);
}

TEST_F(BenchLinkTest, UnplugFailsPendingRequestsAndRemovesTheNames) {
    HANDLE device = Open("\\\\.\\ZPRPX73u0");
    std::vector<std::uint8_t> reply(64);
    Transfer transfer;
    OVERLAPPED overlapped{};
    overlapped.hEvent = &transfer;
    ASSERT_TRUE(ReadFileEx(device, reply.data(), 64, &overlapped, CALLBACK_Complete));
    Sleep(10);
    machine::BenchLink::Unplug(machine_.Kern(), 0);
    SleepEx(100, TRUE);
    ASSERT_TRUE(transfer.done);
    EXPECT_EQ(transfer.error, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WriteFileEx(device, reply.data(), 3, &overlapped, CALLBACK_Complete) &&
                 SleepEx(100, TRUE) == WAIT_IO_COMPLETION && transfer.error == 0);
    CloseHandle(device);
    EXPECT_EQ(Open("\\\\.\\ZPRPX73u0"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

struct NamesCase {
    platform::OsFlavour flavour;
    bool ntNames;
};

class BenchLinkNames : public BenchLinkTest, public ::testing::WithParamInterface<NamesCase> {
  protected:
    BenchLinkNames() : BenchLinkTest(GetParam().flavour) {}
};

TEST_P(BenchLinkNames, TheLibrarysNamesExistPerFlavour) {
    HANDLE u = Open("\\\\.\\ZPRPX73u0");
    EXPECT_NE(u, INVALID_HANDLE_VALUE);
    CloseHandle(u);
    HANDLE r = Open("\\\\.\\ZPRPX73r0");
    EXPECT_EQ(r != INVALID_HANDLE_VALUE, GetParam().ntNames);
    if (r != INVALID_HANDLE_VALUE) {
        CloseHandle(r);
    } else {
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(Open("\\\\.\\ZPRPX73u1"), INVALID_HANDLE_VALUE);
}

INSTANTIATE_TEST_SUITE_P(Flavours, BenchLinkNames,
                         ::testing::Values(NamesCase{platform::OsFlavour::Win98, false},
                                           NamesCase{platform::OsFlavour::WinMe, true},
                                           NamesCase{platform::OsFlavour::Win2000, true},
                                           NamesCase{platform::OsFlavour::WinXp, true}),
                         [](const auto& testCase) {
                             return std::string("Windows") +
                                    platform::VersionOf(testCase.param.flavour).option;
                         });

}  // namespace
