#include "Exceptions.h"
#include "Jpeg.h"
#include "Picture.h"
#include "StdControls.h"
#include "Streams.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

const QString kAssets = QStringLiteral(ORVEX_SOURCE_DIR "/assets/");

QString ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

// A picture class that fails while loading, registered for one test.
class FailingGraphic : public TBitmap {
public:
    void LoadFromStream(TStream&) override { throw EInvalidGraphic(QStringLiteral("damaged picture")); }
};

} // namespace

TEST(Picture, AnUnregisteredExtensionIsRefusedAndTheOldPictureStays)
{
    TPicture picture;
    picture.LoadFromFile(kAssets + QStringLiteral("stereo.jpg"));
    TGraphic* before = picture.Graphic();
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(kAssets + QStringLiteral("auto_falantes1.gif")); }),
              QStringLiteral("Unknown picture file extension (.gif)"));
    EXPECT_EQ(picture.Graphic(), before);
}

TEST(Picture, TheRegistryPicksTheClassByExtensionAndAFailedLoadKeepsNothing)
{
    auto& formats = TPictureFormats::Instance();
    formats.Register(QStringLiteral("spk"), QStringLiteral("Test"), QStringLiteral("FailingGraphic"),
                     [] { return std::make_unique<FailingGraphic>(); });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.SPK"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("data");
    file.close();

    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(path); }), QStringLiteral("damaged picture"));
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(changes, 0);
    formats.Unregister(QStringLiteral("FailingGraphic"));
    EXPECT_EQ(formats.Find(QStringLiteral("spk")), nullptr);
}

TEST(Picture, AMissingFileReportsTheOpenFailure)
{
    TPicture picture;
    const QString missing = kAssets + QStringLiteral("none.jpg");
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(missing); }),
              QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
}

TEST(Jpeg, TheStereoSymbolDecodesWithItsColours)
{
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    picture.LoadFromFile(kAssets + QStringLiteral("stereo.jpg"));
    EXPECT_EQ(changes, 1);
    ASSERT_NE(dynamic_cast<TJPEGImage*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 170);
    EXPECT_EQ(picture.Height(), 170);
    const auto& bitmap = static_cast<TJPEGImage*>(picture.Graphic())->Bitmap();
    const QColor centre = ToQColor(bitmap.PixelColor(55, 85)); // red middle of the left speaker
    EXPECT_GT(centre.red(), 150);
    EXPECT_LT(centre.green(), 90);
    const QColor corner = ToQColor(bitmap.PixelColor(2, 2));
    EXPECT_GT(corner.lightness(), 240);
}

TEST(Jpeg, DamagedDataRaisesLibjpegsMessage)
{
    QFile file(kAssets + QStringLiteral("stereo.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray data = file.readAll();
    TJPEGImage image;
    // Not a JPEG at all.
    EXPECT_TRUE(ErrorOf([&] { image.LoadFromBytes({'n', 'o', 'p', 'e'}); }).startsWith(QStringLiteral("JPEG error: ")));
    EXPECT_TRUE(image.Empty());
    // A header cut short.
    std::vector<std::uint8_t> cut(data.begin(), data.begin() + 20);
    EXPECT_TRUE(ErrorOf([&] { image.LoadFromBytes(cut); }).startsWith(QStringLiteral("JPEG error: ")));
    EXPECT_FALSE(ErrorOf([&] { image.LoadFromBytes({}); }).isEmpty());
}

TEST(Bitmap, TheButtonGlyphsAreSixteenColourPairs)
{
    TPicture picture;
    picture.LoadFromFile(kAssets + QStringLiteral("set_station.bmp"));
    auto* bitmap = dynamic_cast<TBitmap*>(picture.Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(bitmap->Width(), 36);
    EXPECT_EQ(bitmap->Height(), 18);
    EXPECT_EQ(bitmap->TransparentColor(), clOlive);
    TMemoryStream garbage(std::vector<std::uint8_t>{'B', 'M', 1, 2});
    EXPECT_EQ(ErrorOf([&] { TBitmap().LoadFromStream(garbage); }), QStringLiteral("Bitmap image is not valid"));
}

TEST(Image, AStretchedTransparentPictureShowsTheBackgroundThroughItsKeyColour)
{
    QWidget parent;
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 255));
    parent.setPalette(palette);
    TImage image(&parent);
    image.resize(55, 55);
    image.SetStretch(true);
    image.SetTransparent(true);
    auto glyph = std::make_unique<TBitmap>(2, 1, TPixelFormat::pfDevice);
    // In a one-row bitmap the bottom-left pixel, the key colour, is (0, 0).
    glyph->Canvas().SetPixel(0, 0, clOlive);
    glyph->Canvas().SetPixel(1, 0, clRed);
    image.Picture().SetGraphic(std::move(glyph));
    EXPECT_TRUE(image.Picture().Graphic()->Transparent());
    const TBitmap shown = image.Render();
    EXPECT_EQ(shown.PixelColor(5, 30), clBlue);  // left half: key colour, background shows
    EXPECT_EQ(shown.PixelColor(50, 30), clRed);  // right half stretched over 27 columns
    EXPECT_EQ(image.DestRect(), Bounds(0, 0, 55, 55));
}
