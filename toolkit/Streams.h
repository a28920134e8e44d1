#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace orvex {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream: the pictures and the tag reader read through these.
class TStream {
public:
    virtual ~TStream() = default;
    // Reads at most count bytes; returns how many were read.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    std::int64_t Size();

    // Read or write exactly count bytes, or raise EReadError / EWriteError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Copies count bytes (all from the position when count is 0) from source.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
    std::vector<std::uint8_t> ReadAll();
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName);

private:
    std::vector<std::uint8_t> m_bytes;
    std::int64_t m_position = 0;
};

// Open modes and share modes of file streams, combined with '|'.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFF00,
};

// A regular file opened with an access and a share mode; folders, pipes and
// devices are refused with the system's reason. Share modes are enforced
// between the streams of this process, as the desktop's file system does
// between processes: an open that conflicts with a file already held fails
// with a sharing violation.
class TFileStream : public TStream {
public:
    // Raises EFOpenError ("Cannot open file ...") or, with fmCreate,
    // "Cannot create file ...", with the system's reason.
    TFileStream(const QString& fileName, unsigned mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const QString& FileName() const { return m_fileName; }
    int Handle() const { return m_fd; }

private:
    QString m_fileName;
    int m_fd = -1;
    std::uint64_t m_shareTicket = 0;
};

// The text the system gives for an error number (strerror, in the program's words).
QString SysErrorMessage(int errorCode);

// The sharing violation's error number and text.
inline constexpr int kSharingViolation = 32;
// What a pipe, a socket or a device is to a file stream: something that is
// not a file it can read (the desktop's number for that).
inline constexpr int kCannotAccessFile = 1920;

} // namespace orvex
