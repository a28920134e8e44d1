#include "GIFUnit.h"

#include "GIFImage.h"
#include "GIFOptions.h"
#include "Picture.h"

namespace orvex {

namespace {

const QString kClassName = QStringLiteral("TGIFImage");

} // namespace

unsigned GifClipboardFormat = 0;

void InitializeGIFUnit()
{
    TPictureFormats& formats = TPictureFormats::Instance();
    formats.Register(QStringLiteral("gif"), QStringLiteral("GIF Image"), kClassName,
                     [] { return std::make_unique<TGIFImage>(); });
    GifClipboardFormat = formats.RegisterClipboardFormat(QStringLiteral("GIF Image"), kClassName);
    DetectPaletteDisplay();
    // The runtime here has no single-threaded mode to leave: no idle thread
    // is needed to switch it before the first painter starts.
}

void FinalizeGIFUnit()
{
    // The extension registries are the process's own tables and go with it.
    TPictureFormats& formats = TPictureFormats::Instance();
    formats.Unregister(kClassName);
    formats.UnregisterClipboardFormat(kClassName);
    GifClipboardFormat = 0;
}

} // namespace orvex
