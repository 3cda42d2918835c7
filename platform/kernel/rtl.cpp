// Run-time library routines drivers use: counted strings, the status to Win32 error mapping, and
// debug prints into the machine's trace.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel/internal.h"
#include "platform/platform.h"

namespace wdm {

void RtlInitUnicodeString(UNICODE_STRING* destination, const WCHAR* source) {
    std::size_t length = source != nullptr ? std::char_traits<WCHAR>::length(source) : 0;
    destination->Buffer = const_cast<WCHAR*>(source);
    destination->Length = static_cast<USHORT>(length * sizeof(WCHAR));
    destination->MaximumLength =
        static_cast<USHORT>(source != nullptr ? destination->Length + sizeof(WCHAR) : 0);
}

void RtlInitAnsiString(ANSI_STRING* destination, const char* source) {
    std::size_t length = source != nullptr ? std::strlen(source) : 0;
    destination->Buffer = const_cast<char*>(source);
    destination->Length = static_cast<USHORT>(length);
    destination->MaximumLength = static_cast<USHORT>(source != nullptr ? length + 1 : 0);
}

NTSTATUS RtlAnsiStringToUnicodeString(UNICODE_STRING* destination, const ANSI_STRING* source,
                                      BOOLEAN allocate) {
    if (destination == nullptr || source == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    std::u16string wide = platform::AnsiToWide(std::string_view(source->Buffer, source->Length));
    std::size_t bytes = wide.size() * sizeof(WCHAR);
    if (bytes + sizeof(WCHAR) > 0xFFFF) {
        return STATUS_INVALID_PARAMETER;
    }
    if (allocate) {
        destination->Buffer =
            static_cast<WCHAR*>(ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), MakePoolTag("Strg")));
        if (destination->Buffer == nullptr) {
            return STATUS_NO_MEMORY;
        }
        destination->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
    } else if (destination->Buffer == nullptr || destination->MaximumLength < bytes) {
        return STATUS_BUFFER_OVERFLOW;
    }
    std::memcpy(destination->Buffer, wide.data(), bytes);
    if (destination->MaximumLength >= bytes + sizeof(WCHAR)) {
        destination->Buffer[wide.size()] = u'\0';
    }
    destination->Length = static_cast<USHORT>(bytes);
    return STATUS_SUCCESS;
}

void RtlFreeUnicodeString(UNICODE_STRING* string) {
    if (string != nullptr && string->Buffer != nullptr) {
        ExFreePoolWithTag(string->Buffer, MakePoolTag("Strg"));
        string->Buffer = nullptr;
        string->Length = string->MaximumLength = 0;
    }
}

ULONG RtlNtStatusToDosError(NTSTATUS status) {
    struct Mapping {
        NTSTATUS status;
        ULONG error;
    };
    static constexpr Mapping kMappings[] = {
        {STATUS_SUCCESS, ERROR_SUCCESS},
        {STATUS_PENDING, ERROR_IO_PENDING},
        {STATUS_TIMEOUT, WAIT_TIMEOUT},
        {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
        {STATUS_NO_MORE_ENTRIES, ERROR_NO_MORE_ITEMS},
        {STATUS_DEVICE_BUSY, ERROR_BUSY},
        {STATUS_VERIFY_REQUIRED, ERROR_MEDIA_CHANGED},
        {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
        {STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
        {STATUS_INVALID_INFO_CLASS, ERROR_INVALID_PARAMETER},
        {STATUS_INFO_LENGTH_MISMATCH, ERROR_BAD_LENGTH},
        {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND},
        {STATUS_NO_SUCH_FILE, ERROR_FILE_NOT_FOUND},
        {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
        {STATUS_END_OF_FILE, ERROR_HANDLE_EOF},
        {STATUS_NO_MEDIA_IN_DEVICE, ERROR_NOT_READY},
        {STATUS_MORE_PROCESSING_REQUIRED, ERROR_MORE_DATA},
        {STATUS_NO_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
        {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
        {STATUS_OBJECT_TYPE_MISMATCH, ERROR_INVALID_HANDLE},
        {STATUS_OBJECT_NAME_INVALID, ERROR_INVALID_NAME},
        {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {STATUS_OBJECT_NAME_COLLISION, ERROR_ALREADY_EXISTS},
        {STATUS_OBJECT_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
        {STATUS_DEVICE_ALREADY_ATTACHED, ERROR_DEVICE_ALREADY_ATTACHED},
        {STATUS_DATA_ERROR, ERROR_CRC},
        {STATUS_CRC_ERROR, ERROR_CRC},
        {STATUS_SHARING_VIOLATION, ERROR_SHARING_VIOLATION},
        {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED},
        {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES},
        {STATUS_DEVICE_DATA_ERROR, ERROR_CRC},
        {STATUS_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED},
        {STATUS_DEVICE_POWER_FAILURE, ERROR_NOT_READY},
        {STATUS_MEDIA_WRITE_PROTECTED, ERROR_WRITE_PROTECT},
        {STATUS_DEVICE_NOT_READY, ERROR_NOT_READY},
        {STATUS_IO_TIMEOUT, ERROR_SEM_TIMEOUT},
        {STATUS_FILE_IS_A_DIRECTORY, ERROR_ACCESS_DENIED},
        {STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        {STATUS_INTERNAL_ERROR, ERROR_INTERNAL_ERROR},
        {STATUS_DIRECTORY_NOT_EMPTY, ERROR_DIR_NOT_EMPTY},
        {STATUS_NOT_A_DIRECTORY, ERROR_DIRECTORY},
        {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
        {STATUS_INVALID_DEVICE_STATE, ERROR_BAD_COMMAND},
        {STATUS_IO_DEVICE_ERROR, ERROR_IO_DEVICE},
        {STATUS_DEVICE_PROTOCOL_ERROR, ERROR_IO_DEVICE},
        {STATUS_DEVICE_REMOVED, ERROR_DEVICE_REMOVED},
        {STATUS_NOT_FOUND, ERROR_NOT_FOUND},
    };
    for (const auto& mapping : kMappings) {
        if (mapping.status == status) {
            return mapping.error;
        }
    }
    // Windows' answer for a status it has no error for.
    return ERROR_MR_MID_NOT_FOUND;
}

ULONG DbgPrint(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (auto* platform = platform::Platform::Current()) {
        platform->Trace().Write("kernel", text);
    }
    return STATUS_SUCCESS;
}

}  // namespace wdm
