#pragma once

// Loading helpers for the GIF suites: load bytes into a picture while
// recording every warning, or get the message of a refused load.

#include "GIFImage.h"
#include "GifWriter.h"
#include "Streams.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace giftest {

struct Loaded {
    std::unique_ptr<orvex::TGIFImage> Image = std::make_unique<orvex::TGIFImage>();
    QStringList Warnings;
    QString Error;            // empty when the load succeeded
    std::int64_t EndPosition = 0; // the stream's position after the load
};

// Loads the bytes from a memory stream that starts at offset 0.
Loaded LoadGif(const Bytes& bytes);

// Loads the bytes into a new picture; a refused load raises as usual.
std::unique_ptr<orvex::TGIFImage> LoadPicture(const Bytes& bytes);

// The message of the exception that the action raised, empty when none.
QString ErrorOf(const std::function<void()>& action);

} // namespace giftest
