#pragma once

#include <QStringList>

namespace orvex {

// The inspector's "render" command:
//   render FILE DIR [--background RRGGBB]
// Plays one pass of the picture (the default paint options without Loop)
// through the picture's own draw operation, with its threaded painter and
// the window-thread hand-over, into a surface of the logical screen's size
// that starts filled with the background colour (white unless given). Each
// frame as it then appears on the surface goes to DIR/render-NNN.png (24-bit,
// NNN counting the frames shown from 000), and DIR/timing.txt gets one line
// "NNN DELAY_MS" per frame: the wait the painter planned after it (for the
// last frame, which no wait follows, the wait its delay asks for). Time is
// counted, not slept: the waits are the ones the painter plans when drawing
// takes no time, and a render takes as long as its drawing.
// Returns the process's exit code; messages go to standard error.
int RunGifRender(const QStringList& arguments);

} // namespace orvex
