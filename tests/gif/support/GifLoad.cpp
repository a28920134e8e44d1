#include "GifLoad.h"

#include "Exceptions.h"

namespace giftest {

std::unique_ptr<orvex::TGIFImage> LoadPicture(const Bytes& bytes)
{
    auto picture = std::make_unique<orvex::TGIFImage>();
    orvex::TMemoryStream stream(bytes);
    picture->LoadFromStream(stream);
    return picture;
}

Loaded LoadGif(const Bytes& bytes)
{
    Loaded loaded;
    loaded.Image->WarningHandler = [&loaded](orvex::TPersistent&, std::uint8_t severity, const QString& message) {
        loaded.Warnings << (severity == 1 ? message : QStringLiteral("severity %1: %2").arg(severity).arg(message));
    };
    orvex::TMemoryStream stream(bytes);
    loaded.Error = ErrorOf([&] { loaded.Image->LoadFromStream(stream); });
    loaded.EndPosition = stream.Position();
    // The handler refers to this local; keep the picture usable afterwards.
    loaded.Image->WarningHandler = nullptr;
    return loaded;
}

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const orvex::Exception& e) {
        return e.Message();
    }
    return {};
}

} // namespace giftest
