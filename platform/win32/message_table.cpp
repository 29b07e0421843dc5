#include "platform/win32/win32.h"

#include <algorithm>
#include <cstring>

namespace {

// Our own English text for every code the platform layer sets. Each ends with
// a period and CR LF, as system message texts do; callers show them unchanged.
// A code without a case here has no text (nullptr), and FormatMessageA fails
// for it.
constexpr const char* MessageText(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS: return "No error occurred; the operation completed.\r\n";
    case ERROR_FILE_NOT_FOUND: return "The file could not be found.\r\n";
    case ERROR_PATH_NOT_FOUND: return "A directory on the file's path could not be found.\r\n";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many files are open at the same time.\r\n";
    case ERROR_ACCESS_DENIED: return "Access to the file or resource was denied.\r\n";
    case ERROR_INVALID_HANDLE: return "The handle is not valid, or it has already been closed.\r\n";
    case ERROR_NOT_ENOUGH_MEMORY: return "There is not enough memory to complete the operation.\r\n";
    case ERROR_INVALID_DATA: return "The data is not valid.\r\n";
    case ERROR_OUTOFMEMORY: return "The system ran out of memory while completing the operation.\r\n";
    case ERROR_GEN_FAILURE: return "The operation failed in the system or in a device.\r\n";
    case ERROR_SHARING_VIOLATION: return "The file is in use and cannot be opened now.\r\n";
    case ERROR_HANDLE_EOF: return "The end of the file was reached.\r\n";
    case ERROR_NOT_SUPPORTED: return "The requested operation is not supported.\r\n";
    case ERROR_FILE_EXISTS: return "The file already exists.\r\n";
    case ERROR_INVALID_PARAMETER: return "One of the values passed to the operation is not valid.\r\n";
    case ERROR_BUFFER_OVERFLOW: return "The name is longer than the space provided for it.\r\n";
    case ERROR_INSUFFICIENT_BUFFER: return "The buffer given is too small to hold the data.\r\n";
    case ERROR_INVALID_NAME: return "The file or directory name is not valid.\r\n";
    case ERROR_FILENAME_EXCED_RANGE: return "The path or file name is too long.\r\n";
    case ERROR_MR_MID_NOT_FOUND: return "No message text exists for this code.\r\n";
    case ERROR_FILE_TOO_LARGE: return "The file is too large to be handled.\r\n";
    case ERROR_NO_DATA: return "No data was received.\r\n";
    case ERROR_MORE_DATA: return "More data is available than the buffer can hold.\r\n";
    case ERROR_NO_MORE_ITEMS: return "There are no more items.\r\n";
    case ERROR_IO_DEVICE: return "An input or output error occurred on the device.\r\n";
    case ERROR_NETWORK_UNREACHABLE: return "The network cannot be reached from this machine.\r\n";
    case ERROR_RESOURCE_LANG_NOT_FOUND: return "No message text exists in the requested language.\r\n";
    case ERROR_CANT_RESOLVE_FILENAME: return "The file name could not be resolved: it leads through too many symbolic links.\r\n";

    case ERROR_INTERNET_OUT_OF_HANDLES: return "No more internet handles could be created.\r\n";
    case ERROR_INTERNET_TIMEOUT: return "The operation timed out.\r\n";
    case ERROR_INTERNET_EXTENDED_ERROR: return "The server returned more information about the error.\r\n";
    case ERROR_INTERNET_INTERNAL_ERROR: return "An internal error occurred in the internet library.\r\n";
    case ERROR_INTERNET_INVALID_URL: return "The URL is not valid.\r\n";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "The URL uses a scheme that is not supported.\r\n";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "The server name or address could not be resolved.\r\n";
    case ERROR_INTERNET_PROTOCOL_NOT_FOUND: return "No protocol could be found to carry out the request.\r\n";
    case ERROR_INTERNET_INVALID_OPTION: return "The option is not valid.\r\n";
    case ERROR_INTERNET_BAD_OPTION_LENGTH: return "The length given for the option does not match its type.\r\n";
    case ERROR_INTERNET_OPTION_NOT_SETTABLE: return "The option can only be read, not set.\r\n";
    case ERROR_INTERNET_SHUTDOWN: return "The internet library is shutting down.\r\n";
    case ERROR_INTERNET_INVALID_OPERATION: return "The operation is not valid here.\r\n";
    case ERROR_INTERNET_OPERATION_CANCELLED: return "The operation was cancelled.\r\n";
    case ERROR_INTERNET_INCORRECT_HANDLE_TYPE: return "The handle is of the wrong type for this operation.\r\n";
    case ERROR_INTERNET_INCORRECT_HANDLE_STATE: return "The handle is not in a state in which this operation can run.\r\n";
    case ERROR_INTERNET_CANNOT_CONNECT: return "A connection with the server could not be established.\r\n";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "The connection with the server was ended unexpectedly.\r\n";
    case ERROR_INTERNET_CONNECTION_RESET: return "The connection with the server was reset.\r\n";
    case ERROR_HTTP_HEADER_NOT_FOUND: return "The requested header was not found.\r\n";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "The server's response could not be understood.\r\n";
    case ERROR_HTTP_INVALID_HEADER: return "The header is not valid.\r\n";
    case ERROR_HTTP_INVALID_QUERY_REQUEST: return "The header query is not valid.\r\n";
    case ERROR_HTTP_HEADER_ALREADY_EXISTS: return "The header could not be added because it is already present.\r\n";
    case ERROR_INTERNET_DISCONNECTED: return "The connection to the network has been lost.\r\n";
    case ERROR_INTERNET_SERVER_UNREACHABLE: return "The server could not be reached.\r\n";
    }
    return nullptr;
}

// The texts are English; a request for the neutral or a default language, or
// for any English variant, gets them. The primary language is the low ten
// bits of a language id.
constexpr bool LanguageServed(DWORD languageId)
{
    constexpr DWORD kLangEnglish = 0x09;
    constexpr DWORD kLangSystemDefault = 0x0800;
    return languageId == LANG_NEUTRAL || languageId == LANG_USER_DEFAULT ||
           languageId == kLangSystemDefault || (languageId & 0x3FF) == kLangEnglish;
}

}  // namespace

const char* SystemMessageText(DWORD code)
{
    return MessageText(code);
}

DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* /*arguments*/)
{
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    // With ALLOCATE_BUFFER the caller passes the address of its text pointer.
    auto* const allocated = allocate ? reinterpret_cast<LPSTR*>(buffer) : nullptr;
    if (allocated != nullptr) {
        *allocated = nullptr;
    }

    // Only the system's table is served; a message from a string or a module
    // is not.
    const bool fromSystem = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 &&
                            (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) == 0;
    if (!fromSystem || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* const text = MessageText(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (!LanguageServed(languageId)) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    // Our texts carry no inserts, so FORMAT_MESSAGE_IGNORE_INSERTS and the
    // arguments change nothing.
    const std::size_t length = std::strlen(text);

    if (allocate) {
        // `size` is the least number of bytes to allocate.
        const std::size_t bytes = std::max<std::size_t>(length + 1, size);
        auto* const copy = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, bytes));
        if (copy == nullptr) {
            return 0;  // LocalAlloc set ERROR_NOT_ENOUGH_MEMORY
        }
        std::memcpy(copy, text, length + 1);
        *allocated = copy;
        return static_cast<DWORD>(length);
    }

    if (length + 1 > size) {
        if (size > 0) {
            buffer[0] = '\0';
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
