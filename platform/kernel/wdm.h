// The kernel API as the system's drivers use it: I/O manager, requests and their stack locations,
// memory descriptors, pool, dispatcher objects, spin locks and IRQL, DPCs and timers, the
// registry and files for drivers. Windows names and, where drivers depend on them, Windows'
// values; the structures are our own declarations and only as large as the system needs.
#pragma once

#include <atomic>
#include <cstdarg>

#include "platform/base/control_codes.h"
#include "platform/base/status.h"
#include "platform/base/types.h"

namespace platform {
class WaitableObject;
struct IrpTracking;
struct DeviceTracking;
}  // namespace platform

namespace wdm {

using namespace win;

using CSHORT = std::int16_t;
using CCHAR = char;
using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;
using ACCESS_MASK = ULONG;
using DEVICE_TYPE = ULONG;
using KPRIORITY = LONG;
using POOL_TYPE = int;
using PCHAR = char*;

inline constexpr KIRQL PASSIVE_LEVEL = 0;
inline constexpr KIRQL APC_LEVEL = 1;
inline constexpr KIRQL DISPATCH_LEVEL = 2;

enum KPROCESSOR_MODE : CCHAR { KernelMode = 0, UserMode = 1 };
enum KWAIT_REASON { Executive = 0, UserRequest = 6 };
enum EVENT_TYPE { NotificationEvent = 0, SynchronizationEvent = 1 };
enum TIMER_TYPE { NotificationTimer = 0, SynchronizationTimer = 1 };

inline constexpr POOL_TYPE NonPagedPool = 0;
inline constexpr POOL_TYPE PagedPool = 1;
inline constexpr KPRIORITY IO_NO_INCREMENT = 0;
inline constexpr int NormalPagePriority = 16;

// Object types, as the first field of each object carries them.
inline constexpr CSHORT IO_TYPE_DEVICE = 3;
inline constexpr CSHORT IO_TYPE_DRIVER = 4;
inline constexpr CSHORT IO_TYPE_FILE = 5;
inline constexpr CSHORT IO_TYPE_IRP = 6;

struct LIST_ENTRY {
    LIST_ENTRY* Flink;
    LIST_ENTRY* Blink;
};
using PLIST_ENTRY = LIST_ENTRY*;

inline void InitializeListHead(LIST_ENTRY* head) {
    head->Flink = head->Blink = head;
}
inline bool IsListEmpty(const LIST_ENTRY* head) {
    return head->Flink == head;
}
inline void InsertTailList(LIST_ENTRY* head, LIST_ENTRY* entry) {
    entry->Flink = head;
    entry->Blink = head->Blink;
    head->Blink->Flink = entry;
    head->Blink = entry;
}
inline void InsertHeadList(LIST_ENTRY* head, LIST_ENTRY* entry) {
    entry->Flink = head->Flink;
    entry->Blink = head;
    head->Flink->Blink = entry;
    head->Flink = entry;
}
inline BOOLEAN RemoveEntryList(LIST_ENTRY* entry) {
    entry->Blink->Flink = entry->Flink;
    entry->Flink->Blink = entry->Blink;
    return entry->Flink == entry->Blink;
}
inline LIST_ENTRY* RemoveHeadList(LIST_ENTRY* head) {
    LIST_ENTRY* entry = head->Flink;
    RemoveEntryList(entry);
    return entry;
}

// The record that holds an object's structure pointer (a device extension from its list entry).
#define CONTAINING_RECORD(address, type, field) \
    reinterpret_cast<type*>(reinterpret_cast<char*>(address) - offsetof(type, field))

struct UNICODE_STRING {
    USHORT Length;  // in bytes, without a terminator
    USHORT MaximumLength;
    WCHAR* Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

struct ANSI_STRING {
    USHORT Length;
    USHORT MaximumLength;
    char* Buffer;
};

void RtlInitUnicodeString(UNICODE_STRING* destination, const WCHAR* source);
void RtlInitAnsiString(ANSI_STRING* destination, const char* source);
// With `allocate`, the buffer comes from pool and RtlFreeUnicodeString returns it.
NTSTATUS RtlAnsiStringToUnicodeString(UNICODE_STRING* destination, const ANSI_STRING* source,
                                      BOOLEAN allocate);
void RtlFreeUnicodeString(UNICODE_STRING* string);
// The Win32 error that user mode sees for a status.
ULONG RtlNtStatusToDosError(NTSTATUS status);

struct IO_STATUS_BLOCK {
    NTSTATUS Status;
    ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

inline constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
inline constexpr ULONG OBJ_KERNEL_HANDLE = 0x200;

struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    UNICODE_STRING* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};

inline void InitializeObjectAttributes(OBJECT_ATTRIBUTES* attributes, UNICODE_STRING* name, ULONG flags,
                                       HANDLE root, PVOID security) {
    attributes->Length = sizeof(OBJECT_ATTRIBUTES);
    attributes->RootDirectory = root;
    attributes->ObjectName = name;
    attributes->Attributes = flags;
    attributes->SecurityDescriptor = security;
    attributes->SecurityQualityOfService = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Dispatcher objects. The structures are the driver's memory; KeInitialize... binds a platform
// dispatcher object to them, which the kernel keeps until the memory is initialised again, its
// pool block is freed, or the machine ends.

struct DISPATCHER_HEADER {
    UCHAR Type;
    UCHAR Reserved[7];
    platform::WaitableObject* Object;
};

struct KEVENT {
    DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;

struct KMUTEX {
    DISPATCHER_HEADER Header;
};
using KMUTANT = KMUTEX;

struct KDPC;
using PKDEFERRED_ROUTINE = void (*)(KDPC* dpc, PVOID deferredContext, PVOID systemArgument1,
                                    PVOID systemArgument2);

struct KDPC {
    UCHAR Type;
    BOOLEAN Inserted;  // queued and not yet run
    PKDEFERRED_ROUTINE DeferredRoutine;
    PVOID DeferredContext;
    PVOID SystemArgument1;
    PVOID SystemArgument2;
    PVOID Owner;  // the driver object that initialised it
};
using PKDPC = KDPC*;

struct KTIMER {
    DISPATCHER_HEADER Header;
    ULONGLONG DueTimeNs;  // machine time of expiry while inserted
    KDPC* Dpc;
    LONG PeriodMs;
    BOOLEAN Inserted;
};
using PKTIMER = KTIMER*;

void KeInitializeEvent(KEVENT* event, EVENT_TYPE type, BOOLEAN state);
LONG KeSetEvent(KEVENT* event, KPRIORITY increment, BOOLEAN wait);
LONG KeResetEvent(KEVENT* event);
void KeClearEvent(KEVENT* event);
LONG KeReadStateEvent(KEVENT* event);

void KeInitializeMutex(KMUTEX* mutex, ULONG level);
LONG KeReleaseMutex(KMUTEX* mutex, BOOLEAN wait);

// Time-outs: negative values are relative, in 100 ns units; positive ones are absolute system
// times; nullptr waits without a time-out.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               LARGE_INTEGER* timeout);
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, LARGE_INTEGER* interval);

// System time: 100 ns units since 1601, as Windows counts it.
void KeQuerySystemTime(LARGE_INTEGER* currentTime);
ULONGLONG KeQueryInterruptTime();

// IRQL of the calling thread and spin locks.
KIRQL KeGetCurrentIrql();
void KeRaiseIrql(KIRQL newIrql, KIRQL* oldIrql);
void KeLowerIrql(KIRQL newIrql);
KIRQL KeRaiseIrqlToDpcLevel();
void KeInitializeSpinLock(KSPIN_LOCK* lock);
void KeAcquireSpinLock(KSPIN_LOCK* lock, KIRQL* oldIrql);
void KeReleaseSpinLock(KSPIN_LOCK* lock, KIRQL newIrql);
void KeAcquireSpinLockAtDpcLevel(KSPIN_LOCK* lock);
void KeReleaseSpinLockFromDpcLevel(KSPIN_LOCK* lock);

void KeInitializeDpc(KDPC* dpc, PKDEFERRED_ROUTINE routine, PVOID context);
BOOLEAN KeInsertQueueDpc(KDPC* dpc, PVOID systemArgument1, PVOID systemArgument2);
BOOLEAN KeRemoveQueueDpc(KDPC* dpc);

void KeInitializeTimer(KTIMER* timer);
void KeInitializeTimerEx(KTIMER* timer, TIMER_TYPE type);
BOOLEAN KeSetTimer(KTIMER* timer, LARGE_INTEGER dueTime, KDPC* dpc);
BOOLEAN KeSetTimerEx(KTIMER* timer, LARGE_INTEGER dueTime, LONG periodMs, KDPC* dpc);
BOOLEAN KeCancelTimer(KTIMER* timer);
BOOLEAN KeReadStateTimer(KTIMER* timer);

// Interlocked operations.
inline LONG InterlockedIncrement(LONG volatile* target) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_add(1) + 1;
}
inline LONG InterlockedDecrement(LONG volatile* target) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_sub(1) - 1;
}
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).exchange(value);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_add(value);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
    std::atomic_ref<LONG>(*const_cast<LONG*>(target)).compare_exchange_strong(comparand, exchange);
    return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
    return std::atomic_ref<PVOID>(*const_cast<PVOID*>(target)).exchange(value);
}

// Debug output into the machine's trace ("kernel" channel).
ULONG DbgPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Pool, accounted per tag and per driver. A tag reads as its four characters in memory:
// MakePoolTag("VxSc").
constexpr ULONG MakePoolTag(const char (&text)[5]) {
    return static_cast<ULONG>(static_cast<UCHAR>(text[0])) |
           static_cast<ULONG>(static_cast<UCHAR>(text[1])) << 8 |
           static_cast<ULONG>(static_cast<UCHAR>(text[2])) << 16 |
           static_cast<ULONG>(static_cast<UCHAR>(text[3])) << 24;
}
PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag);
PVOID ExAllocatePool(POOL_TYPE type, SIZE_T bytes);
void ExFreePool(PVOID block);
void ExFreePoolWithTag(PVOID block, ULONG tag);

// ---------------------------------------------------------------------------------------------
// I/O manager.

inline constexpr UCHAR IRP_MJ_CREATE = 0x00;
inline constexpr UCHAR IRP_MJ_CLOSE = 0x02;
inline constexpr UCHAR IRP_MJ_READ = 0x03;
inline constexpr UCHAR IRP_MJ_WRITE = 0x04;
inline constexpr UCHAR IRP_MJ_FLUSH_BUFFERS = 0x09;
inline constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0E;
inline constexpr UCHAR IRP_MJ_INTERNAL_DEVICE_CONTROL = 0x0F;
inline constexpr UCHAR IRP_MJ_SCSI = 0x0F;
inline constexpr UCHAR IRP_MJ_SHUTDOWN = 0x10;
inline constexpr UCHAR IRP_MJ_CLEANUP = 0x12;
inline constexpr UCHAR IRP_MJ_POWER = 0x16;
inline constexpr UCHAR IRP_MJ_SYSTEM_CONTROL = 0x17;
inline constexpr UCHAR IRP_MJ_PNP = 0x1B;
inline constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1B;

// Stack location control bits.
inline constexpr UCHAR SL_PENDING_RETURNED = 0x01;
inline constexpr UCHAR SL_INVOKE_ON_CANCEL = 0x20;
inline constexpr UCHAR SL_INVOKE_ON_SUCCESS = 0x40;
inline constexpr UCHAR SL_INVOKE_ON_ERROR = 0x80;

// Device object flags and characteristics.
inline constexpr ULONG DO_EXCLUSIVE = 0x00000008;
inline constexpr ULONG DO_DIRECT_IO = 0x00000010;
inline constexpr ULONG DO_BUFFERED_IO = 0x00000004;
inline constexpr ULONG DO_DEVICE_INITIALIZING = 0x00000080;
inline constexpr ULONG DO_POWER_PAGABLE = 0x00002000;
inline constexpr ULONG FILE_DEVICE_SECURE_OPEN = 0x00000100;
inline constexpr ULONG FILE_REMOVABLE_MEDIA = 0x00000001;

inline constexpr DEVICE_TYPE FILE_DEVICE_CONTROLLER = 0x04;
inline constexpr DEVICE_TYPE FILE_DEVICE_DISK = 0x07;
inline constexpr DEVICE_TYPE FILE_DEVICE_MASS_STORAGE = 0x2D;
inline constexpr DEVICE_TYPE FILE_DEVICE_BUS_EXTENDER = 0x2A;

constexpr ULONG METHOD_FROM_CTL_CODE(ULONG code) {
    return code & 3;
}
constexpr ULONG ACCESS_FROM_CTL_CODE(ULONG code) {
    return (code >> 14) & 3;
}
constexpr ULONG DEVICE_TYPE_FROM_CTL_CODE(ULONG code) {
    return code >> 16;
}

// Access rights of a file open.
inline constexpr ACCESS_MASK FILE_READ_DATA = 0x0001;
inline constexpr ACCESS_MASK FILE_WRITE_DATA = 0x0002;
inline constexpr ACCESS_MASK FILE_READ_ATTRIBUTES = 0x0080;
inline constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
inline constexpr ACCESS_MASK FILE_GENERIC_READ = 0x00120089;
inline constexpr ACCESS_MASK FILE_GENERIC_WRITE = 0x00120116;
inline constexpr ACCESS_MASK GENERIC_READ = 0x80000000;
inline constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
inline constexpr ACCESS_MASK FILE_ALL_ACCESS = 0x001F01FF;
inline constexpr ACCESS_MASK KEY_READ = 0x00020019;
inline constexpr ACCESS_MASK KEY_QUERY_VALUE = 0x0001;
inline constexpr ULONG FILE_SHARE_READ = 0x1;
inline constexpr ULONG FILE_SHARE_WRITE = 0x2;

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
struct IRP;
struct FILE_OBJECT;
struct MDL;

using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PIRP = IRP*;
using PFILE_OBJECT = FILE_OBJECT*;
using PMDL = MDL*;

using PDRIVER_INITIALIZE = NTSTATUS (*)(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath);
using PDRIVER_ADD_DEVICE = NTSTATUS (*)(DRIVER_OBJECT* driver, DEVICE_OBJECT* physicalDevice);
using PDRIVER_UNLOAD = void (*)(DRIVER_OBJECT* driver);
using PDRIVER_DISPATCH = NTSTATUS (*)(DEVICE_OBJECT* device, IRP* irp);
using PDRIVER_STARTIO = void (*)(DEVICE_OBJECT* device, IRP* irp);
using PDRIVER_CANCEL = void (*)(DEVICE_OBJECT* device, IRP* irp);
using PIO_COMPLETION_ROUTINE = NTSTATUS (*)(DEVICE_OBJECT* device, IRP* irp, PVOID context);

struct DRIVER_EXTENSION {
    DRIVER_OBJECT* DriverObject;
    PDRIVER_ADD_DEVICE AddDevice;
    ULONG Count;
    UNICODE_STRING ServiceKeyName;
};

struct DRIVER_OBJECT {
    CSHORT Type;
    CSHORT Size;
    DEVICE_OBJECT* DeviceObject;  // the driver's devices, chained through NextDevice
    ULONG Flags;
    DRIVER_EXTENSION* DriverExtension;
    UNICODE_STRING DriverName;  // "\Driver\NAME"
    PDRIVER_INITIALIZE DriverInit;
    PDRIVER_STARTIO DriverStartIo;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

// The device object extension: the power record the 9x kernels keep behind Dope.
struct DEVOBJ_EXTENSION {
    CSHORT Type;
    USHORT Size;
    DEVICE_OBJECT* DeviceObject;
    ULONG PowerFlags;
    PVOID Dope;
    DEVICE_OBJECT* AttachedTo;  // the device this one is attached on
};

struct DEVICE_OBJECT {
    CSHORT Type;
    USHORT Size;
    LONG ReferenceCount;
    DRIVER_OBJECT* DriverObject;
    DEVICE_OBJECT* NextDevice;
    DEVICE_OBJECT* AttachedDevice;  // the device attached on top of this one
    IRP* CurrentIrp;
    ULONG Flags;
    ULONG Characteristics;
    PVOID DeviceExtension;
    DEVICE_TYPE DeviceType;
    CCHAR StackSize;
    ULONG AlignmentRequirement;
    DEVOBJ_EXTENSION* DeviceObjectExtension;
    platform::DeviceTracking* Tracking;  // the I/O manager's own record of the device
};

struct FILE_OBJECT {
    CSHORT Type;
    CSHORT Size;
    DEVICE_OBJECT* DeviceObject;
    PVOID FsContext;
    PVOID FsContext2;
    ULONG Flags;
    UNICODE_STRING FileName;
    LONG ReferenceCount;
};

// A memory descriptor list. Simulated memory is one address space, so the system address of a
// buffer is the buffer itself; the descriptor still records what a driver asked for.
inline constexpr USHORT MDL_SOURCE_IS_NONPAGED_POOL = 0x0004;
inline constexpr USHORT MDL_MAPPED_TO_SYSTEM_VA = 0x0001;
inline constexpr USHORT MDL_PAGES_LOCKED = 0x0002;

struct MDL {
    MDL* Next;
    CSHORT Size;
    USHORT MdlFlags;
    PVOID StartVa;
    ULONG ByteCount;
    ULONG ByteOffset;
    PVOID MappedSystemVa;
};

PMDL IoAllocateMdl(PVOID virtualAddress, ULONG length, BOOLEAN secondaryBuffer, BOOLEAN chargeQuota,
                   IRP* irp);
void MmBuildMdlForNonPagedPool(MDL* mdl);
PVOID MmGetSystemAddressForMdlSafe(MDL* mdl, int priority);
inline ULONG MmGetMdlByteCount(const MDL* mdl) {
    return mdl->ByteCount;
}
inline PVOID MmGetMdlVirtualAddress(const MDL* mdl) {
    return static_cast<char*>(mdl->StartVa) + mdl->ByteOffset;
}
void IoFreeMdl(MDL* mdl);

struct IO_SECURITY_CONTEXT {
    ACCESS_MASK DesiredAccess;
};

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Flags;
    UCHAR Control;
    union {
        struct {
            IO_SECURITY_CONTEXT* SecurityContext;
            ULONG Options;
            USHORT FileAttributes;
            USHORT ShareAccess;
            ULONG EaLength;
        } Create;
        struct {
            ULONG Length;
            ULONG Key;
            LARGE_INTEGER ByteOffset;
        } Read;
        struct {
            ULONG Length;
            ULONG Key;
            LARGE_INTEGER ByteOffset;
        } Write;
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
            PVOID Type3InputBuffer;
        } DeviceIoControl;
        struct {
            PVOID Argument1;
            PVOID Argument2;
            PVOID Argument3;
            PVOID Argument4;
        } Others;
    } Parameters;
    DEVICE_OBJECT* DeviceObject;
    FILE_OBJECT* FileObject;
    PIO_COMPLETION_ROUTINE CompletionRoutine;
    PVOID Context;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

struct IRP {
    CSHORT Type;
    USHORT Size;
    MDL* MdlAddress;
    ULONG Flags;
    union {
        IRP* MasterIrp;
        PVOID SystemBuffer;
    } AssociatedIrp;
    IO_STATUS_BLOCK IoStatus;
    KPROCESSOR_MODE RequestorMode;
    BOOLEAN PendingReturned;
    CCHAR StackCount;
    CCHAR CurrentLocation;  // StackCount + 1 before the first IoCallDriver
    BOOLEAN Cancel;
    KIRQL CancelIrql;
    PDRIVER_CANCEL CancelRoutine;
    PVOID UserBuffer;
    IO_STATUS_BLOCK* UserIosb;
    KEVENT* UserEvent;
    struct {
        struct {
            PVOID DriverContext[4];
            LIST_ENTRY ListEntry;
            IO_STACK_LOCATION* CurrentStackLocation;
            FILE_OBJECT* OriginalFileObject;
        } Overlay;
    } Tail;
    platform::IrpTracking* Tracking;  // the I/O manager's own record of the request
};

inline IO_STACK_LOCATION* IoGetCurrentIrpStackLocation(IRP* irp) {
    return irp->Tail.Overlay.CurrentStackLocation;
}
inline IO_STACK_LOCATION* IoGetNextIrpStackLocation(IRP* irp) {
    return irp->Tail.Overlay.CurrentStackLocation - 1;
}
inline void IoSkipCurrentIrpStackLocation(IRP* irp) {
    irp->CurrentLocation++;
    irp->Tail.Overlay.CurrentStackLocation++;
}
inline void IoSetNextIrpStackLocation(IRP* irp) {
    irp->CurrentLocation--;
    irp->Tail.Overlay.CurrentStackLocation--;
}
// Copies the current location to the next one, without the completion routine.
void IoCopyCurrentIrpStackLocationToNext(IRP* irp);
void IoSetCompletionRoutine(IRP* irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN invokeOnSuccess,
                            BOOLEAN invokeOnError, BOOLEAN invokeOnCancel);
void IoMarkIrpPending(IRP* irp);
PDRIVER_CANCEL IoSetCancelRoutine(IRP* irp, PDRIVER_CANCEL routine);

PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN chargeQuota);
void IoFreeIrp(IRP* irp);
PIRP IoBuildDeviceIoControlRequest(ULONG ioControlCode, DEVICE_OBJECT* device, PVOID inputBuffer,
                                   ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength,
                                   BOOLEAN internalDeviceIoControl, KEVENT* event, IO_STATUS_BLOCK* ioStatus);
NTSTATUS IoCallDriver(DEVICE_OBJECT* device, IRP* irp);
void IoCompleteRequest(IRP* irp, KPRIORITY priorityBoost);
BOOLEAN IoCancelIrp(IRP* irp);
void IoAcquireCancelSpinLock(KIRQL* irql);
void IoReleaseCancelSpinLock(KIRQL irql);

NTSTATUS IoCreateDevice(DRIVER_OBJECT* driver, ULONG deviceExtensionSize, UNICODE_STRING* deviceName,
                        DEVICE_TYPE deviceType, ULONG deviceCharacteristics, BOOLEAN exclusive,
                        DEVICE_OBJECT** deviceObject);
void IoDeleteDevice(DEVICE_OBJECT* device);
NTSTATUS IoCreateSymbolicLink(UNICODE_STRING* symbolicLinkName, UNICODE_STRING* deviceName);
NTSTATUS IoDeleteSymbolicLink(UNICODE_STRING* symbolicLinkName);
// Opens the named device (a create request to the top of its stack): the file object holds the
// open, the device object returned is the top of the stack.
NTSTATUS IoGetDeviceObjectPointer(UNICODE_STRING* objectName, ACCESS_MASK desiredAccess,
                                  FILE_OBJECT** fileObject, DEVICE_OBJECT** deviceObject);
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(DEVICE_OBJECT* source, DEVICE_OBJECT* target);
void IoDetachDevice(DEVICE_OBJECT* target);
PDEVICE_OBJECT IoGetAttachedDevice(DEVICE_OBJECT* device);
void ObReferenceObject(PVOID object);
void ObDereferenceObject(PVOID object);

// ---------------------------------------------------------------------------------------------
// Registry and files for drivers. Handles are kernel handles of the machine's System process.

enum KEY_VALUE_INFORMATION_CLASS {
    KeyValueBasicInformation = 0,
    KeyValueFullInformation = 1,
    KeyValuePartialInformation = 2
};

struct KEY_VALUE_PARTIAL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataLength;
    UCHAR Data[1];
};
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12);

inline constexpr ULONG REG_SZ = 1;
inline constexpr ULONG REG_EXPAND_SZ = 2;
inline constexpr ULONG REG_BINARY = 3;
inline constexpr ULONG REG_DWORD = 4;
inline constexpr ULONG REG_MULTI_SZ = 7;

NTSTATUS ZwOpenKey(HANDLE* keyHandle, ACCESS_MASK desiredAccess, OBJECT_ATTRIBUTES* objectAttributes);
// String values come back as UTF-16, as the kernel keeps them.
NTSTATUS ZwQueryValueKey(HANDLE keyHandle, UNICODE_STRING* valueName, KEY_VALUE_INFORMATION_CLASS infoClass,
                         PVOID information, ULONG length, ULONG* resultLength);
NTSTATUS ZwClose(HANDLE handle);

inline constexpr ULONG FILE_SUPERSEDE = 0;
inline constexpr ULONG FILE_OPEN = 1;
inline constexpr ULONG FILE_CREATE = 2;
inline constexpr ULONG FILE_OPEN_IF = 3;
inline constexpr ULONG FILE_OVERWRITE = 4;
inline constexpr ULONG FILE_OVERWRITE_IF = 5;
inline constexpr ULONG FILE_SYNCHRONOUS_IO_NONALERT = 0x20;
inline constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x40;
inline constexpr ULONG FILE_ATTRIBUTE_NORMAL = 0x80;

// Io status Information of a create.
inline constexpr ULONG_PTR FILE_SUPERSEDED = 0;
inline constexpr ULONG_PTR FILE_OPENED = 1;
inline constexpr ULONG_PTR FILE_CREATED = 2;
inline constexpr ULONG_PTR FILE_OVERWRITTEN = 3;

enum FILE_INFORMATION_CLASS { FileStandardInformation = 5, FilePositionInformation = 14 };

struct FILE_STANDARD_INFORMATION {
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};
static_assert(sizeof(FILE_STANDARD_INFORMATION) == 24);

struct FILE_POSITION_INFORMATION {
    LARGE_INTEGER CurrentByteOffset;
};

NTSTATUS ZwCreateFile(HANDLE* fileHandle, ACCESS_MASK desiredAccess, OBJECT_ATTRIBUTES* objectAttributes,
                      IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes,
                      ULONG shareAccess, ULONG createDisposition, ULONG createOptions, PVOID eaBuffer,
                      ULONG eaLength);
// Reads at `byteOffset`, or at the file's position when it is nullptr.
NTSTATUS ZwReadFile(HANDLE fileHandle, HANDLE event, PVOID apcRoutine, PVOID apcContext,
                    IO_STATUS_BLOCK* ioStatus, PVOID buffer, ULONG length, LARGE_INTEGER* byteOffset,
                    ULONG* key);
NTSTATUS ZwQueryInformationFile(HANDLE fileHandle, IO_STATUS_BLOCK* ioStatus, PVOID information, ULONG length,
                                FILE_INFORMATION_CLASS infoClass);

}  // namespace wdm
