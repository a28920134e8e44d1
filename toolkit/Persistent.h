#pragma once

namespace orvex {

// The base of the framework's copyable objects that are not pictures
// themselves (a picture's parts, its colour tables, its lists). It gives them
// a common type, so that notifications can name any of them as their sender.
class TPersistent {
public:
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;
    virtual ~TPersistent() = default;

    // Copies from another object; the classes that support it override
    // AssignTo or Assign. Anything else raises EInvalidOperation
    // "Cannot assign a <source> to a <target>".
    virtual void Assign(const TPersistent& source);

protected:
    virtual void AssignTo(TPersistent& dest) const;
};

} // namespace orvex
