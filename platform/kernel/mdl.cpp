// Memory descriptor lists. The machine has one address space, so a descriptor maps a buffer onto
// itself; descriptors come from pool like Windows' own, so a driver that leaks one is caught.
#include <cstring>

#include "platform/kernel/internal.h"

namespace wdm {

namespace {
constexpr ULONG kMdlTag = MakePoolTag("Mdl ");
constexpr ULONG kPageSize = 4096;
}  // namespace

PMDL IoAllocateMdl(PVOID virtualAddress, ULONG length, BOOLEAN secondaryBuffer, BOOLEAN, IRP* irp) {
    if (length == 0) {
        return nullptr;
    }
    auto* mdl = static_cast<MDL*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(MDL), kMdlTag));
    if (mdl == nullptr) {
        return nullptr;
    }
    std::memset(mdl, 0, sizeof(MDL));
    auto address = reinterpret_cast<ULONG_PTR>(virtualAddress);
    mdl->Size = sizeof(MDL);
    mdl->StartVa = reinterpret_cast<PVOID>(address & ~ULONG_PTR{kPageSize - 1});
    mdl->ByteOffset = static_cast<ULONG>(address & (kPageSize - 1));
    mdl->ByteCount = length;
    if (irp != nullptr) {
        if (!secondaryBuffer || irp->MdlAddress == nullptr) {
            irp->MdlAddress = mdl;
        } else {
            MDL* last = irp->MdlAddress;
            while (last->Next != nullptr) {
                last = last->Next;
            }
            last->Next = mdl;
        }
    }
    return mdl;
}

void MmBuildMdlForNonPagedPool(MDL* mdl) {
    if (mdl != nullptr) {
        mdl->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
        mdl->MappedSystemVa = MmGetMdlVirtualAddress(mdl);
    }
}

PVOID MmGetSystemAddressForMdlSafe(MDL* mdl, int) {
    if (mdl == nullptr) {
        return nullptr;
    }
    if (mdl->MappedSystemVa == nullptr) {
        mdl->MappedSystemVa = MmGetMdlVirtualAddress(mdl);
        mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    }
    return mdl->MappedSystemVa;
}

void IoFreeMdl(MDL* mdl) {
    ExFreePoolWithTag(mdl, kMdlTag);
}

}  // namespace wdm
