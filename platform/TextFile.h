#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace orvex {

// A classic text file, read or written line by line. Lines are bytes. Written
// lines end in CR LF; read lines end at LF, with or without a CR before it,
// and a Ctrl-Z (26) ends the text. Reading past the end gives empty lines.
// Every failure raises EInOutError with the system's reason and the file's name.
class TTextFile {
public:
    explicit TTextFile(QString fileName) : m_fileName(std::move(fileName)) {}
    ~TTextFile();
    TTextFile(const TTextFile&) = delete;
    TTextFile& operator=(const TTextFile&) = delete;

    // Opens an existing file for reading.
    void Reset();
    // Creates the file for writing, emptying one that exists.
    void Rewrite();
    QByteArray ReadLn();
    void WriteLn(const QByteArray& line);
    // True at the end of the file or at a Ctrl-Z.
    bool Eof();
    // Closes the file; a file that is not open raises.
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    const QString& FileName() const { return m_fileName; }

private:
    [[noreturn]] void Fail(const char* action, int error) const;
    void OpenAs(const char* mode, const char* action);
    int Peek();

    QString m_fileName;
    std::FILE* m_file = nullptr;
    bool m_reading = false;
};

} // namespace orvex
