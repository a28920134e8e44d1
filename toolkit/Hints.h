#pragma once

#include <QString>

namespace orvex {

// Hints show their text as it stands. Many carry what the user chose or
// typed (a folder, an address); one that merely looks like markup ("<b>x")
// must not be drawn as rich text. Installs itself on the application once.
void ShowHintsAsPlainText();

// The text a hint is shown with so that it reads as plain text, line breaks
// and runs of blanks included.
QString PlainHintText(const QString& text);

} // namespace orvex
