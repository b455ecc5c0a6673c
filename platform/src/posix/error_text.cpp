// FormatMessageA for system codes, from a fixed table of the texts the
// product can meet.  Texts carry no trailing line break.
#include "internal.h"

#include <cstring>

namespace twplat {
namespace {

struct ErrorText {
    DWORD code;
    const char *text;
};

const ErrorText kTexts[] = {
    {0x80004001u, "Not implemented"},
    {0x80004005u, "Unspecified error"},
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_INVALID_WINDOW_HANDLE, "Invalid window handle."},
    {ERROR_CANNOT_FIND_WND_CLASS, "Cannot find window class."},
    {ERROR_CLASS_ALREADY_EXISTS, "Class already exists."},
    {ERROR_NOT_ENOUGH_QUOTA, "Not enough quota is available to process this command."},
};

const char *lookup(DWORD code)
{
    for (const ErrorText &entry : kTexts)
        if (entry.code == code)
            return entry.text;
    // HRESULT_FROM_WIN32 codes read as the Win32 code they wrap
    // (0x80070057 is "The parameter is incorrect.").
    if ((code & 0xFFFF0000u) == 0x80070000u)
        return lookup(code & 0xFFFFu);
    return nullptr;
}

}  // namespace
}  // namespace twplat

extern "C" DWORD FormatMessageA(DWORD flags, const void *, DWORD message_id, DWORD, LPSTR buffer,
                                DWORD size, void *)
{
    // Only system texts into a caller buffer: no sources, no allocation.
    const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & ~supported & 0xFFFFFF00u) || (!buffer && size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char *text = twplat::lookup(message_id);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    size_t length = std::strlen(text);
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
