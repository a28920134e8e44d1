#include "TextFile.h"

#include "Exceptions.h"
#include "Streams.h"

#include <cerrno>

namespace orvex {

namespace {
constexpr int kCtrlZ = 26;
constexpr int kNotOpen = EBADF;
} // namespace

TTextFile::~TTextFile()
{
    if (m_file)
        std::fclose(m_file);
}

void TTextFile::Fail(const char* action, int error) const
{
    throw EInOutError(QStringLiteral("Cannot %1 \"%2\": %3").arg(QLatin1String(action), m_fileName, SysErrorMessage(error)),
                      error);
}

void TTextFile::Reset()
{
    OpenAs("rbe", "open for reading");
    m_reading = true;
}

void TTextFile::Rewrite()
{
    OpenAs("wbe", "create");
    m_reading = false;
}

void TTextFile::OpenAs(const char* mode, const char* action)
{
    if (m_file)
        Close();
    m_file = std::fopen(m_fileName.toLocal8Bit().constData(), mode);
    if (!m_file)
        Fail(action, errno);
}

int TTextFile::Peek()
{
    const int c = std::fgetc(m_file);
    if (c == EOF) {
        if (std::ferror(m_file))
            Fail("read", errno ? errno : EIO);
        return EOF;
    }
    std::ungetc(c, m_file);
    return c;
}

bool TTextFile::Eof()
{
    if (!m_file || !m_reading)
        Fail("read", kNotOpen);
    const int c = Peek();
    return c == EOF || c == kCtrlZ;
}

QByteArray TTextFile::ReadLn()
{
    if (!m_file || !m_reading)
        Fail("read", kNotOpen);
    QByteArray line;
    for (;;) {
        const int c = std::fgetc(m_file);
        if (c == EOF) {
            if (std::ferror(m_file))
                Fail("read", errno ? errno : EIO);
            break;
        }
        if (c == kCtrlZ) {
            // The text ends here; every later read stays at this end.
            std::ungetc(c, m_file);
            break;
        }
        if (c == '\n')
            break;
        if (c == '\r') {
            const int next = std::fgetc(m_file);
            if (next == '\n')
                break;
            if (next != EOF)
                std::ungetc(next, m_file);
            // A CR alone stays part of the line.
        }
        line += static_cast<char>(c);
    }
    return line;
}

void TTextFile::WriteLn(const QByteArray& line)
{
    if (!m_file || m_reading)
        Fail("write", kNotOpen);
    if (std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), m_file) != static_cast<std::size_t>(line.size()) ||
        std::fwrite("\r\n", 1, 2, m_file) != 2)
        Fail("write", errno ? errno : EIO);
}

void TTextFile::Close()
{
    if (!m_file)
        Fail("close", kNotOpen);
    std::FILE* file = m_file;
    m_file = nullptr;
    if (std::fclose(file) != 0)
        Fail("close", errno ? errno : EIO);
}

} // namespace orvex
