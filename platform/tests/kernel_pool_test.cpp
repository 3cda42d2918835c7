// Pool: accounting by tag and by driver, the allocation fault point, and freeing checks.
#include "platform/tests/kernel_test_drivers.h"

namespace kernel_test {
namespace {

using Pool = KernelTest;

TEST_F(Pool, IsAccountedPerTagUntilFreed) {
    const ULONG first = MakePoolTag("VxSc");
    const ULONG second = MakePoolTag("Plyd");
    void* a = ExAllocatePoolWithTag(NonPagedPool, 10, first);
    void* b = ExAllocatePoolWithTag(NonPagedPool, 20, first);
    void* c = ExAllocatePoolWithTag(PagedPool, 5, second);
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    EXPECT_EQ(std::memcmp(&first, "VxSc", 4), 0) << "a tag reads as its characters in memory";
    EXPECT_EQ(Kern().PoolByTag(first).blocks, 2u);
    EXPECT_EQ(Kern().PoolByTag(first).bytes, 30u);
    EXPECT_EQ(Kern().PoolByTag(second).bytes, 5u);
    ExFreePoolWithTag(a, first);
    ExFreePool(b);
    EXPECT_EQ(Kern().PoolByTag(first).blocks, 0u);
    ExFreePool(c);
    EXPECT_EQ(Kern().PoolTotal().blocks, 0u);
}

NTSTATUS AllocatingEntry(DRIVER_OBJECT* driver, UNICODE_STRING*) {
    ExAllocatePoolWithTag(NonPagedPool, 64, MakePoolTag("Mine"));
    driver->DriverUnload = [](DRIVER_OBJECT*) {};
    return STATUS_SUCCESS;
}

TEST_F(Pool, IsChargedToTheDriverWhoseCodeAllocates) {
    Kern().RegisterDriver("Allocating", AllocatingEntry);
    DRIVER_OBJECT* driver = nullptr;
    ASSERT_EQ(Kern().LoadDriver("Allocating", &driver), STATUS_SUCCESS);
    EXPECT_EQ(Kern().PoolOfDriver(driver).bytes, 64u);
    EXPECT_EQ(Kern().PoolOfDriver(lowerDriver_).bytes, 0u);
    EXPECT_EQ(Kern().PoolByTag(MakePoolTag("Mine")).blocks, 1u);
}

TEST_F(Pool, AnArmedFaultPointFailsTheAllocation) {
    machine_.Faults().Arm("ExAllocatePoolWithTag", 2);
    void* first = ExAllocatePoolWithTag(NonPagedPool, 8, MakePoolTag("Test"));
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 8, MakePoolTag("Test")), nullptr);
    ExFreePool(first);
}

TEST_F(Pool, FreeingWithAnotherTagIsABugcheck) {
    void* block = ExAllocatePoolWithTag(NonPagedPool, 8, MakePoolTag("Ownr"));
    ExFreePoolWithTag(block, MakePoolTag("Othr"));
    EXPECT_THAT(Kern().LastBugcheck(), ::testing::HasSubstr("BAD_POOL_CALLER"));
    EXPECT_THAT(Kern().LastBugcheck(), ::testing::HasSubstr("of tag 'Ownr' freed with tag 'Othr'"));
    expectBugcheck_ = true;
}

}  // namespace
}  // namespace kernel_test
