#include "Streams.h"

#include "Exceptions.h"
#include "ShareRegistry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

QString SysErrorMessage(int errorCode)
{
    if (errorCode == kSharingViolation)
        return QStringLiteral("The process cannot access the file because it is being used by another process");
    if (errorCode == kCannotAccessFile)
        return QStringLiteral("The file cannot be accessed by the system");
    return QString::fromLocal8Bit(std::strerror(errorCode));
}

std::int64_t TStream::Size()
{
    const std::int64_t position = Position();
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError(QStringLiteral("Stream write error"));
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0)
        count = source.Size() - source.Position();
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 64 * 1024)));
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size()));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        left -= n;
    }
    return count;
}

std::vector<std::uint8_t> TStream::ReadAll()
{
    const std::int64_t left = std::max<std::int64_t>(0, Size() - Position());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(left));
    ReadBuffer(bytes.data(), left);
    return bytes;
}

// ---- TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    const std::int64_t n = std::clamp<std::int64_t>(size - m_position, 0, std::max<std::int64_t>(count, 0));
    if (n > 0)
        std::memcpy(buffer, m_bytes.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const auto end = static_cast<std::size_t>(m_position + count);
    if (end > m_bytes.size())
        m_bytes.resize(end);
    std::memcpy(m_bytes.data() + m_position, buffer, static_cast<std::size_t>(count));
    m_position += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case TSeekOrigin::soBeginning: m_position = offset; break;
    case TSeekOrigin::soCurrent: m_position += offset; break;
    case TSeekOrigin::soEnd: m_position = static_cast<std::int64_t>(m_bytes.size()) + offset; break;
    }
    m_position = std::max<std::int64_t>(m_position, 0);
    return m_position;
}

void TMemoryStream::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    m_bytes = file.ReadAll();
    m_position = 0;
}

void TMemoryStream::SaveToFile(const QString& fileName)
{
    TFileStream file(fileName, fmCreate);
    file.WriteBuffer(m_bytes.data(), static_cast<std::int64_t>(m_bytes.size()));
}

// ---- TFileStream

namespace {

// Why a file of this kind cannot be a stream, or 0 for a regular file.
int NotARegularFile(const struct stat& info)
{
    if (S_ISREG(info.st_mode))
        return 0;
    return S_ISDIR(info.st_mode) ? EISDIR : kCannotAccessFile;
}

} // namespace

TFileStream::TFileStream(const QString& fileName, unsigned mode) : m_fileName(fileName)
{
    const bool create = (mode & 0xFF00) == fmCreate;
    const unsigned access = create ? fmOpenReadWrite : (mode & 0x3);
    const unsigned share = create ? fmShareExclusive : (mode & 0xF0);
    const QByteArray path = fileName.toLocal8Bit();

    int flags = O_CLOEXEC;
    flags |= access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
    const QString failure = create ? QStringLiteral("Cannot create file \"%1\". %2")
                                   : QStringLiteral("Cannot open file \"%1\". %2");

    // Only regular files are streams: a folder named like a file would read
    // as garbage, and a pipe or a device could block its reader for good.
    // They are refused before they are touched.
    struct stat info {};
    const bool exists = ::stat(path.constData(), &info) == 0;
    if (exists) {
        if (const int refused = NotARegularFile(info))
            throw EFOpenError(failure.arg(fileName, SysErrorMessage(refused)));
        // The share check comes before the file is touched, so a refused
        // create does not truncate a file that somebody else holds.
        const int conflict = ShareRegistry::Instance().Acquire(info.st_dev, info.st_ino, access, share, &m_shareTicket);
        if (conflict != 0)
            throw EFOpenError(failure.arg(fileName, SysErrorMessage(conflict)));
    }
    // Never blocking: the name may have changed into a pipe since it was looked at.
    m_fd = ::open(path.constData(), flags | O_NONBLOCK | (create ? O_CREAT | O_TRUNC : 0), 0644);
    int error = m_fd < 0 ? errno : 0;
    if (error == 0 && ::fstat(m_fd, &info) != 0)
        error = errno;
    if (error == 0)
        error = NotARegularFile(info);
    if (error != 0) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        ShareRegistry::Instance().Release(m_shareTicket);
        m_shareTicket = 0;
        throw EFOpenError(failure.arg(fileName, SysErrorMessage(error)));
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    if (m_shareTicket == 0)
        ShareRegistry::Instance().Acquire(info.st_dev, info.st_ino, access, share, &m_shareTicket);
}

TFileStream::~TFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
    ShareRegistry::Instance().Release(m_shareTicket);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    auto* out = static_cast<char*>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        const ssize_t n = ::read(m_fd, out + total, static_cast<std::size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    const auto* in = static_cast<const char*>(buffer);
    std::int64_t total = 0;
    while (total < count) {
        const ssize_t n = ::write(m_fd, in + total, static_cast<std::size_t>(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(m_fd, offset, whence);
}

} // namespace orvex
