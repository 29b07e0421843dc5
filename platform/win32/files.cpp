#include "platform/win32/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace dravenlok::win32 {

namespace {

// The Win32 code for an errno value of a file operation.
constexpr DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG:
    case EOVERFLOW: return ERROR_FILE_TOO_LARGE;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EIO: return ERROR_IO_DEVICE;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    }
    return ERROR_GEN_FAILURE;
}

void SetLastErrorFromErrno(int error)
{
    SetLastError(ErrorFromErrno(error));
}

// ENOENT does not tell a missing file from a missing directory on its way;
// the system does ("file not found" against "path not found"), and a user
// needs to know which.
DWORD MissingFileError(const char* path)
{
    const char* const slash = std::strrchr(path, '/');
    if (slash == nullptr || slash == path) {
        return ERROR_FILE_NOT_FOUND;  // in the current or the root directory
    }
    const std::string parent(path, static_cast<std::size_t>(slash - path));
    struct stat info {};
    if (::stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

// Owns one open file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int Get() const noexcept { return m_fd; }

private:
    int m_fd;
};

struct OpenFile {
    FileDescriptor fd;
    bool readable;
};

// Open files by handle value. Handle values count up and are never reused,
// so a handle that was closed stays invalid instead of reaching a file
// opened later. A call holds its file through a shared pointer, so closing a
// handle while another thread reads through it is safe.
class FileTable {
public:
    HANDLE Add(std::shared_ptr<OpenFile> file)
    {
        std::lock_guard lock(m_mutex);
        m_next += kStep;
        auto* const handle = reinterpret_cast<HANDLE>(m_next);  // NOLINT(performance-no-int-to-ptr)
        m_files.emplace(handle, std::move(file));
        return handle;
    }

    [[nodiscard]] std::shared_ptr<OpenFile> Find(HANDLE handle) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_files.find(handle);
        return found == m_files.end() ? nullptr : found->second;
    }

    bool Remove(HANDLE handle)
    {
        std::shared_ptr<OpenFile> closing;  // released after the lock
        std::lock_guard lock(m_mutex);
        const auto found = m_files.find(handle);
        if (found == m_files.end()) {
            return false;
        }
        closing = std::move(found->second);
        m_files.erase(found);
        return true;
    }

private:
    // Handle values start well away from null and step by 4, as the system's
    // handles do; they never reach INVALID_HANDLE_VALUE.
    static constexpr std::uintptr_t kStep = 4;
    mutable std::mutex m_mutex;
    std::uintptr_t m_next = 0x1000;
    std::unordered_map<HANDLE, std::shared_ptr<OpenFile>> m_files;
};

FileTable& Files()
{
    static FileTable table;
    return table;
}

}  // namespace

}  // namespace dravenlok::win32

using dravenlok::win32::Files;
using dravenlok::win32::SetLastErrorFromErrno;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD /*shareMode*/, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE /*templateFile*/)
{
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Only existing files are opened, for reading; creating or writing files is
    // no service of this layer.
    if ((access & GENERIC_WRITE) != 0 || creation == CREATE_NEW || creation == CREATE_ALWAYS ||
        creation == OPEN_ALWAYS) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; such
    // files are refused below anyway.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        SetLastError(error == ENOENT ? dravenlok::win32::MissingFileError(path)
                                     : dravenlok::win32::ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    dravenlok::win32::FileDescriptor owner(fd);

    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    // A directory cannot be opened as a file: the system answers "access denied".
    if (S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const int statusFlags = ::fcntl(fd, F_GETFL);
    if (statusFlags >= 0) {
        ::fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK);
    }
    if ((flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) != 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }

    auto file = std::make_shared<dravenlok::win32::OpenFile>(
        dravenlok::win32::OpenFile{std::move(owner), (access & GENERIC_READ) != 0});
    return Files().Add(std::move(file));
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    const auto open = Files().Find(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat info {};
    if (::fstat(open->fd.Get(), &info) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size < 0 ? 0 : info.st_size);
    const auto low = static_cast<DWORD>(size & 0xFFFFFFFFU);
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    // A true low part of 0xFFFFFFFF is told apart from failure by the last error.
    if (low == INVALID_FILE_SIZE) {
        SetLastError(ERROR_SUCCESS);
    }
    return low;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, void* overlapped)
{
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    const auto open = Files().Find(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Overlapped reads are not served; a synchronous read must report its count.
    if (overlapped != nullptr || bytesRead == nullptr || (buffer == nullptr && bytesToRead > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!open->readable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }

    // A read returns fewer bytes than asked only at the end of the file; a
    // short POSIX read is continued.
    auto* const out = static_cast<char*>(buffer);
    DWORD total = 0;
    while (total < bytesToRead) {
        const auto got = ::read(open->fd.Get(), out + total, bytesToRead - total);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (total > 0) {
                break;  // deliver what arrived; the error shows on the next read
            }
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<DWORD>(got);
    }
    *bytesRead = total;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    if (!Files().Remove(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
