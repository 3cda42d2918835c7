// Pool: allocations with a tag, accounted per tag and per driver; freeing checks the block.
#include <cstdlib>
#include <cstring>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace platform {

using namespace wdm;
using namespace kernel_detail;

namespace {
// New pool is filled with this, so that a driver relying on zeroed memory shows it.
constexpr int kFreshPoolFill = 0xCD;
}  // namespace

void* Kernel::AllocatePool(POOL_TYPE, std::size_t bytes, ULONG tag) {
    if (platform_.Faults().Hit("ExAllocatePoolWithTag")) {
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block, kFreshPoolFill, bytes);
    std::lock_guard lock(poolMutex_);
    freedPool_.erase(block);
    pool_[block] = PoolBlock{bytes, tag, DriverCall::Current()};
    return block;
}

void Kernel::FreePool(void* block, std::optional<ULONG> tag) {
    if (block == nullptr) {
        Bugcheck("BAD_POOL_CALLER", "ExFreePool of a null pointer by " + DriverName(DriverCall::Current()));
        return;
    }
    std::size_t bytes = 0;
    {
        std::unique_lock lock(poolMutex_);
        auto found = pool_.find(block);
        if (found == pool_.end()) {
            bool twice = freedPool_.count(block) != 0;
            lock.unlock();
            Bugcheck("BAD_POOL_CALLER",
                     std::string(twice ? "pool block freed twice" : "freeing pool never allocated") + ": " +
                         Hex(block) + " by " + DriverName(DriverCall::Current()));
            return;
        }
        if (tag && *tag != found->second.tag) {
            std::string owned = TagText(found->second.tag);
            lock.unlock();
            Bugcheck("BAD_POOL_CALLER", "pool block " + Hex(block) + " of tag '" + owned +
                                            "' freed with tag '" + TagText(*tag) + "' by " +
                                            DriverName(DriverCall::Current()));
            return;
        }
        bytes = found->second.bytes;
        pool_.erase(found);
        freedPool_.insert(block);
    }
    CheckFreedTimersAndDpcs(block, bytes);
    ForgetBoundObjects(block, bytes);
    std::free(block);
}

PoolUsage Kernel::PoolByTag(ULONG tag) const {
    std::lock_guard lock(poolMutex_);
    PoolUsage usage;
    for (auto& [block, info] : pool_) {
        if (info.tag == tag) {
            ++usage.blocks;
            usage.bytes += info.bytes;
        }
    }
    return usage;
}

PoolUsage Kernel::PoolOfDriver(const DRIVER_OBJECT* driver) const {
    std::lock_guard lock(poolMutex_);
    PoolUsage usage;
    for (auto& [block, info] : pool_) {
        if (info.driver == driver) {
            ++usage.blocks;
            usage.bytes += info.bytes;
        }
    }
    return usage;
}

PoolUsage Kernel::PoolTotal() const {
    std::lock_guard lock(poolMutex_);
    PoolUsage usage;
    for (auto& [block, info] : pool_) {
        ++usage.blocks;
        usage.bytes += info.bytes;
    }
    return usage;
}

void Kernel::CheckDriverPool(const DRIVER_OBJECT* driver) {
    std::map<ULONG, PoolUsage> byTag;
    {
        std::lock_guard lock(poolMutex_);
        for (auto& [block, info] : pool_) {
            if (info.driver == driver) {
                ++byTag[info.tag].blocks;
                byTag[info.tag].bytes += info.bytes;
            }
        }
    }
    if (byTag.empty()) {
        return;
    }
    std::string detail = "driver " + DriverName(driver) + " unloaded with pool still allocated:";
    for (auto& [tag, usage] : byTag) {
        detail += " tag '" + TagText(tag) + "' " + std::to_string(usage.blocks) + " block(s) " +
                  std::to_string(usage.bytes) + " bytes;";
    }
    Bugcheck("DRIVER_UNLOADED_WITHOUT_FREEING_POOL", detail);
}

}  // namespace platform

namespace wdm {

using platform::Kernel;

PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag) {
    Kernel* kernel = Kernel::Current();
    return kernel != nullptr ? kernel->AllocatePool(type, bytes, tag) : nullptr;
}

PVOID ExAllocatePool(POOL_TYPE type, SIZE_T bytes) {
    return ExAllocatePoolWithTag(type, bytes, MakePoolTag("None"));
}

void ExFreePool(PVOID block) {
    if (Kernel* kernel = Kernel::Current()) {
        kernel->FreePool(block, std::nullopt);
    }
}

void ExFreePoolWithTag(PVOID block, ULONG tag) {
    if (Kernel* kernel = Kernel::Current()) {
        kernel->FreePool(block, tag);
    }
}

}  // namespace wdm
