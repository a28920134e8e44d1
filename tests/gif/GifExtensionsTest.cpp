// Extension blocks: graphic control, comment, plain text, loop and unknown
// application extensions, the registries, and which frame owns what.
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

FrameSpec Small()
{
    return MakeFrame(2, 2, [](int x, int y) { return x + 2 * y; });
}

GifWriter Start()
{
    GifWriter w;
    w.Header(2, 2, TestColors(4));
    return w;
}

// The first frame's extensions after loading w + a small frame + trailer.
Loaded LoadWithFrame(GifWriter w)
{
    w.Frame(Small()).Trailer();
    return LoadGif(w.Data());
}

template <class T>
T* Only(const Loaded& l, int frame = 0)
{
    if (l.Image->Frames().Count() <= frame)
        return nullptr;
    const TGIFExtensionList& list = l.Image->Frames()[frame].Extensions();
    return list.Count() == 1 ? dynamic_cast<T*>(list.Item(0)) : nullptr;
}

} // namespace

TEST(GifExtensions, GraphicControlFieldsAndTransparency)
{
    GifWriter w = Start();
    w.Raw({0x21, 0xF9, 4, 0x05, 10, 0, 3, 0});
    // Only the first half of the frame is coded: the rest takes the fill.
    w.Descriptor(0, 0, 2, 2, 0).Raw({2}).Raw(SubBlocks(LzwEncode({1, 2}, 2))).Trailer();
    Loaded l = LoadGif(w.Data());
    ASSERT_EQ(l.Error, QString());
    auto* gce = Only<TGIFGraphicControlExtension>(l);
    ASSERT_NE(gce, nullptr);
    const TGIFSubImage& frame = l.Image->Frames()[0];
    EXPECT_TRUE(gce->Transparent());
    EXPECT_EQ(gce->Disposal(), fdKeep);
    EXPECT_EQ(gce->DelayTime(), 10);
    EXPECT_EQ(gce->TransparentIndex(), 3);
    EXPECT_FALSE(gce->UserInput());
    EXPECT_EQ(gce->Version(), 2);
    EXPECT_TRUE(frame.Transparent);
    EXPECT_EQ(frame.GraphicControl, gce);
    EXPECT_EQ(Bytes(frame.Pixels(), frame.Pixels() + 4), (Bytes{1, 2, 3, 3}));
}

TEST(GifExtensions, DisposalValuesFourToSevenComeThroughAndSettersKeepTheOtherBits)
{
    GifWriter w = Start();
    w.Raw({0x21, 0xF9, 4, 0xFE, 0, 0, 0, 0}); // reserved bits set, disposal 7, user input
    Loaded l = LoadWithFrame(w);
    auto* gce = Only<TGIFGraphicControlExtension>(l);
    ASSERT_NE(gce, nullptr);
    EXPECT_EQ(gce->Disposal(), 7);
    EXPECT_TRUE(gce->UserInput());
    EXPECT_FALSE(l.Image->Frames()[0].Transparent);
    gce->SetDisposal(fdRestorePrevious);
    EXPECT_EQ(gce->Disposal(), fdRestorePrevious);
    EXPECT_EQ(gce->Data.PackedFields, 0xEE);
    gce->SetTransparent(true);
    EXPECT_TRUE(l.Image->Frames()[0].Transparent);
    EXPECT_EQ(gce->Data.PackedFields, 0xEF);
}

TEST(GifExtensions, TwoGraphicControlsBeforeOneImage)
{
    GifWriter w = Start();
    w.GraphicControl(2, 7).GraphicControl(1, 9, 2);
    Loaded l = LoadWithFrame(w);
    const TGIFSubImage& frame = l.Image->Frames()[0];
    ASSERT_EQ(frame.Extensions().Count(), 2);
    EXPECT_EQ(frame.GraphicControl, frame.Extensions().Item(0));
    EXPECT_EQ(frame.GraphicControl->DelayTime(), 7);
    EXPECT_TRUE(frame.Transparent); // set by the second
}

TEST(GifExtensions, DestroyingAGraphicControlUnlinksItFromItsFrame)
{
    GifWriter w = Start();
    w.GraphicControl(0, 5, 1);
    Loaded l = LoadWithFrame(w);
    TGIFSubImage& frame = l.Image->Frames()[0];
    ASSERT_TRUE(frame.Transparent);
    frame.Extensions().Delete(0);
    EXPECT_EQ(frame.Extensions().Count(), 0);
    EXPECT_EQ(frame.GraphicControl, nullptr);
    EXPECT_FALSE(frame.Transparent);

    // A new one becomes the frame's graphic control, and leaves its list
    // when it is destroyed.
    auto gce = std::make_unique<TGIFGraphicControlExtension>(frame);
    EXPECT_EQ(frame.GraphicControl, gce.get());
    EXPECT_EQ(gce->Data.BlockSize, 4);
    frame.Extensions().Add(std::move(gce));
    TGIFItem* added = frame.Extensions().Item(0);
    delete added;
    EXPECT_EQ(frame.Extensions().Count(), 0);
    EXPECT_EQ(frame.GraphicControl, nullptr);
}

TEST(GifExtensions, SettingATransparentIndexOutsideTheTableStoresZero)
{
    GifWriter w = Start();
    w.GraphicControl(0, 0, 1);
    Loaded l = LoadWithFrame(w);
    QStringList warnings;
    l.Image->WarningHandler = [&](TPersistent&, std::uint8_t, const QString& m) { warnings << m; };
    TGIFGraphicControlExtension* gce = l.Image->Frames()[0].GraphicControl;
    gce->SetTransparentIndex(3);
    EXPECT_EQ(gce->TransparentIndex(), 3);
    gce->SetTransparentIndex(4); // the global table has 4 entries
    EXPECT_EQ(gce->TransparentIndex(), 0);
    EXPECT_EQ(warnings, QStringList{QStringLiteral("Invalid color index")});
}

TEST(GifExtensions, AGraphicControlCutShortWarnsAndTheLoadGoesOn)
{
    GifWriter w = Start();
    w.Frame(Small()).Raw({0x21, 0xF9, 4, 0x01, 10});
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_EQ(l.Warnings, QStringList{QStringLiteral("Premature end of data")});
    ASSERT_EQ(l.Image->Frames().Count(), 2);
    const TGIFSubImage& last = l.Image->Frames()[1];
    EXPECT_TRUE(last.Empty());
    auto* gce = Only<TGIFGraphicControlExtension>(l, 1);
    ASSERT_NE(gce, nullptr);
    EXPECT_EQ(gce->DelayTime(), 10);      // the bytes that arrived are kept
    EXPECT_FALSE(last.Transparent);       // a cut-off block marks nothing
}

TEST(GifExtensions, AnUnregisteredLabelFailsTheLoad)
{
    GifWriter w = Start();
    w.Raw({0x21, 0x99, 1, 0, 0});
    Loaded l = LoadWithFrame(w);
    EXPECT_EQ(l.Error, QStringLiteral("Unknown extension type"));
    EXPECT_EQ(l.EndPosition, 0);
}

TEST(GifExtensions, CommentLinesEndAtTheirFirstZeroByte)
{
    GifWriter w = Start();
    w.Raw({0x21, 0xFE, 2, 'a', 'b', 1, 'c', 3, 'x', 0, 'y', 0});
    Loaded l = LoadWithFrame(w);
    auto* comment = Only<TGIFCommentExtension>(l);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Lines, (std::vector<QByteArray>{"ab", "c", "x"}));

    // A comment at the very end, without its terminator, ends quietly.
    GifWriter cut = Start();
    cut.Frame(Small()).Raw({0x21, 0xFE, 2, 'h', 'i'});
    Loaded c = LoadGif(cut.Data());
    EXPECT_EQ(c.Error, QString());
    EXPECT_TRUE(c.Warnings.isEmpty());
    auto* last = Only<TGIFCommentExtension>(c, 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Lines, std::vector<QByteArray>{"hi"});

    // But a sub-block cut short is an error.
    GifWriter shortBlock = Start();
    shortBlock.Frame(Small()).Raw({0x21, 0xFE, 5, 'h', 'i'});
    EXPECT_EQ(LoadGif(shortBlock.Data()).Error, QStringLiteral("Premature end of data"));
}

TEST(GifExtensions, PlainTextKeepsItsGridAndLines)
{
    GifWriter w = Start();
    w.Raw({0x21, 0x01, 12, 1, 0, 2, 0, 40, 0, 16, 0, 8, 16, 3, 0, 5, 'h', 'e', 'l', 'l', 'o', 0});
    Loaded l = LoadWithFrame(w);
    auto* text = Only<TGIFTextExtension>(l);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Data.Left, 1);
    EXPECT_EQ(text->Data.Top, 2);
    EXPECT_EQ(text->Data.Width, 40);
    EXPECT_EQ(text->Data.Height, 16);
    EXPECT_EQ(text->Data.CellWidth, 8);
    EXPECT_EQ(text->Data.CellHeight, 16);
    EXPECT_EQ(text->Data.TextFGColorIndex, 3);
    EXPECT_EQ(text->Lines, std::vector<QByteArray>{"hello"});

    GifWriter cut = Start();
    cut.Raw({0x21, 0x01, 12, 1, 0, 2});
    EXPECT_EQ(LoadGif(cut.Data()).Error, QStringLiteral("Premature end of data"));
}

TEST(GifExtensions, LoopSubBlocks)
{
    struct Case {
        Bytes data; // the sub-blocks after the identifier, terminator included
        QString error;
        int loopCount;
        std::uint32_t bufferSize;
    };
    const Case cases[] = {
        {{3, 1, 0, 0, 0}, {}, 0, 0},
        {{3, 1, 5, 0, 0}, {}, 5, 0},
        {{2, 1, 5, 0}, QStringLiteral("Invalid GIF data"), 0, 0},
        {{3, 9, 7, 0, 0}, {}, 7, 0},                               // only the low 3 bits select
        {{3, 3, 7, 0, 0}, {}, 0, 0},                               // skipped
        {{5, 2, 0x10, 0x20, 0x30, 0x40, 0}, {}, 0, 0x40302010u},   // buffer size
        {{3, 2, 1, 2, 0}, QStringLiteral("Invalid GIF data"), 0, 0},
        {{3, 1, 1, 0, 3, 1, 2, 0, 0}, {}, 2, 0},                   // a later one overwrites
        {{6, 1, 4, 0, 9, 9, 9, 0}, {}, 4, 0},                      // extra bytes skipped
    };
    for (const Case& c : cases) {
        GifWriter w = Start();
        w.Raw({0x21, 0xFF, 11}).Raw(Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}).Raw(c.data);
        Loaded l = LoadWithFrame(w);
        SCOPED_TRACE(::testing::PrintToString(c.data));
        EXPECT_EQ(l.Error, c.error);
        if (!c.error.isEmpty())
            continue;
        auto* loop = Only<TGIFAppExtNSLoop>(l);
        ASSERT_NE(loop, nullptr);
        EXPECT_EQ(loop->LoopCount, c.loopCount);
        EXPECT_EQ(loop->BufferSize, c.bufferSize);
        EXPECT_EQ(l.Image->Frames()[0].PixelCount(), 4);
    }
}

TEST(GifExtensions, ApplicationIdentifiersAreMatchedOnAllElevenBytesWithCase)
{
    GifWriter w = Start();
    w.Loop(4, "ANIMEXTS1.0");
    Loaded l = LoadWithFrame(w);
    auto* loop = Only<TGIFAppExtNSLoop>(l);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->LoopCount, 4);

    GifWriter lower = Start();
    lower.Application("netscape2.0", {{1, 4, 0}, {0xAB}});
    l = LoadWithFrame(lower);
    auto* unknown = Only<TGIFUnknownAppExtension>(l);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->Identifier, MakeApplicationIdentifier("netscape2.0"));
    ASSERT_EQ(unknown->Blocks.size(), 2u);
    EXPECT_EQ(unknown->Blocks[0].Size, 3);
    EXPECT_EQ(unknown->Blocks[0].Data, (Bytes{1, 4, 0}));
    EXPECT_EQ(unknown->Blocks[1].Size, 1);
    EXPECT_EQ(unknown->Blocks[1].Data[0], 0xAB);
}

TEST(GifExtensions, ApplicationBlockSizes)
{
    // Below 10 is refused.
    GifWriter nine = Start();
    nine.Application("ABCDEFGHI", {{1}});
    EXPECT_EQ(LoadWithFrame(nine).Error, QStringLiteral("Unsupported Application Extension block size"));

    // 10 is an unknown extension whose identifier's last byte is the byte
    // after the block; the data is read from right after the block.
    GifWriter ten = Start();
    ten.Application("NETSCAPE2.", {{7, 8}});
    Loaded l = LoadWithFrame(ten);
    ASSERT_EQ(l.Error, QString());
    auto* unknown = Only<TGIFUnknownAppExtension>(l);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->Identifier, MakeApplicationIdentifier("NETSCAPE2.\x02"));
    ASSERT_EQ(unknown->Blocks.size(), 1u);
    EXPECT_EQ(unknown->Blocks[0].Size, 2);
    EXPECT_EQ(unknown->Blocks[0].Data[1], 8);

    // 12 and more: looked up on the first 11 bytes, the rest skipped.
    GifWriter twelve = Start();
    twelve.Application("NETSCAPE2.0+", {{1, 9, 0}});
    l = LoadWithFrame(twelve);
    ASSERT_EQ(l.Error, QString());
    auto* loop = Only<TGIFAppExtNSLoop>(l);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->LoopCount, 9);

    GifWriter long255 = Start();
    long255.Application(std::string(255, 'Q'), {{1, 2, 3}});
    l = LoadWithFrame(long255);
    ASSERT_EQ(l.Error, QString());
    auto* other = Only<TGIFUnknownAppExtension>(l);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(other->Blocks.size(), 1u);
    EXPECT_EQ(other->Blocks[0].Size, 3);
    EXPECT_EQ(l.Image->Frames()[0].PixelCount(), 4);
}

TEST(GifExtensions, ApplicationBlocksCutAtTheEndOfTheFile)
{
    // No block size at all, or a 10-byte block cut short: there is no class.
    for (const Bytes& tail : {Bytes{0x21, 0xFF}, Bytes{0x21, 0xFF, 10, 'N'}}) {
        GifWriter w = Start();
        w.Frame(Small()).Raw(tail);
        EXPECT_EQ(LoadGif(w.Data()).Error, QStringLiteral("Unknown extension type"));
    }
    // An 11-byte identifier cut short is a short read.
    GifWriter identifier = Start();
    identifier.Frame(Small()).Raw({0x21, 0xFF, 11, 'N', 'E', 'T'});
    EXPECT_EQ(LoadGif(identifier.Data()).Error, QStringLiteral("Premature end of data"));
    // A loop extension without its terminator ends quietly; one cut inside
    // a sub-block does not.
    GifWriter quiet = Start();
    quiet.Frame(Small()).Raw({0x21, 0xFF, 11}).Raw(Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
    quiet.Raw({3, 1, 2, 0});
    Loaded l = LoadGif(quiet.Data());
    EXPECT_EQ(l.Error, QString());
    ASSERT_NE(Only<TGIFAppExtNSLoop>(l, 1), nullptr);
    EXPECT_EQ(Only<TGIFAppExtNSLoop>(l, 1)->LoopCount, 2);

    GifWriter cut = Start();
    cut.Frame(Small()).Raw({0x21, 0xFF, 11}).Raw(Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'});
    cut.Raw({3, 1, 2});
    EXPECT_EQ(LoadGif(cut.Data()).Error, QStringLiteral("Premature end of data"));
}

TEST(GifExtensions, ALoopExtensionAfterTheGlobalTableBelongsToTheFirstFrame)
{
    GifWriter w = Start();
    w.Loop(0).Comment({"one"}).GraphicControl(1, 4).Frame(Small()).GraphicControl(2, 8).Frame(Small()).Trailer();
    Loaded l = LoadGif(w.Data());
    ASSERT_EQ(l.Image->Frames().Count(), 2);
    const TGIFExtensionList& first = l.Image->Frames()[0].Extensions();
    EXPECT_EQ(first.Count(), 3);
    ASSERT_NE(first.Find<TGIFAppExtNSLoop>(), nullptr);
    EXPECT_EQ(first.Find<TGIFAppExtNSLoop>()->Image(), l.Image.get());
    EXPECT_EQ(l.Image->Frames()[1].Extensions().Count(), 1);
    EXPECT_EQ(l.Image->Frames()[1].GraphicControl->DelayTime(), 8);
}

TEST(GifExtensions, AStrayByteAfterExtensionsWarnsAndEndsTheFrame)
{
    GifWriter w = Start();
    w.Comment({"x"}).Raw({0}).Frame(Small()).Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_EQ(l.Warnings, QStringList{QStringLiteral("Invalid extension introducer")});
    ASSERT_EQ(l.Image->Frames().Count(), 2);
    EXPECT_TRUE(l.Image->Frames()[0].Empty());
    EXPECT_EQ(l.Image->Frames()[1].PixelCount(), 4);
}

TEST(GifExtensions, RegistriesAnswerTheLatestRegistration)
{
    // Labels and identifiers no other test uses.
    EXPECT_EQ(TExtensionList::Instance().Find(0x42), nullptr);
    TExtensionList::Instance().Add(0x42, TGIFCommentExtension::StaticClass());
    TExtensionList::Instance().Add(0x42, TGIFTextExtension::StaticClass());
    EXPECT_EQ(TExtensionList::Instance().Find(0x42), &TGIFTextExtension::StaticClass());
    EXPECT_EQ(TExtensionList::Instance().Find(bsGraphicControlExtension), &TGIFGraphicControlExtension::StaticClass());
    // A class registered for a label it does not read is caught while reading.
    GifWriter mismatch = Start();
    mismatch.Raw({0x21, 0x42, 1, 'a', 0});
    EXPECT_EQ(LoadWithFrame(mismatch).Error,
              QStringLiteral("Internal error: Extension Instance does not match Extension Label"));

    const auto id = MakeApplicationIdentifier("ORVEXLOOP01");
    TAppExtensionList::Instance().Add(id, TGIFUnknownAppExtension::StaticClass());
    TAppExtensionList::Instance().Add(id, TGIFAppExtNSLoop::StaticClass());
    GifWriter w = Start();
    w.Loop(6, "ORVEXLOOP01");
    Loaded l = LoadWithFrame(w);
    ASSERT_NE(Only<TGIFAppExtNSLoop>(l), nullptr);
    EXPECT_EQ(Only<TGIFAppExtNSLoop>(l)->LoopCount, 6);
}
