#pragma once

#include <QString>
#include <exception>
#include <string>

namespace orvex {

// The failure channel of the whole program: every exception carries the
// message text that the user will read in the error box.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// A silent abort: the default exception handler shows nothing for it.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// A failed file operation; carries the system's error number.
class EInOutError : public Exception {
public:
    EInOutError(QString message, int errorCode) : Exception(std::move(message)), m_errorCode(errorCode) {}
    int ErrorCode() const noexcept { return m_errorCode; }

private:
    int m_errorCode;
};

// A file stream that could not be opened or created.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

class EReadError : public Exception {
public:
    using Exception::Exception;
};

class EWriteError : public Exception {
public:
    using Exception::Exception;
};

class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// A drawing operation on a bitmap that cannot do it (a scan line outside it ...).
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

// Memory for a large block (a bitmap's pixels ...) could not be had.
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

// A failed call into an embedded component, with the component's own text.
class EOleException : public Exception {
public:
    using Exception::Exception;
};

class EThread : public Exception {
public:
    using Exception::Exception;
};

} // namespace orvex
