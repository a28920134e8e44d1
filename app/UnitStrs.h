#pragma once

#include <QString>

namespace orvex {

// The first count characters of text: empty for a count of 0 or less, the
// whole text when count exceeds its length.
inline QString LeftChars(const QString& text, int count)
{
    return count <= 0 ? QString() : text.left(count);
}

} // namespace orvex
