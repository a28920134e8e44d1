// The window's controls: the top row, the server group, the local group and
// the tab chain, placed where the form was drawn.
#include "Unit1.h"

#include "Ansi.h"
#include "Application.h"
#include "Jpeg.h"
#include "Recording.h"
#include "Stations.h"
#include "Streams.h"
#include "UnitStrs.h"
#include "WindowLayout.h"

#include <QButtonGroup>
#include <QFile>

namespace orvex {

using namespace layout;

namespace {

std::vector<std::uint8_t> ResourceBytes(const QString& name)
{
    QFile file(QStringLiteral(":/orvex/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic(QStringLiteral("Missing picture resource %1").arg(name));
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

TBitmap ResourceBitmap(const QString& name)
{
    TMemoryStream stream(ResourceBytes(name));
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    return bitmap;
}

QFont BoldFont(int height)
{
    return MakeFont(QStringLiteral("MS Sans Serif"), height, fsBold);
}

template <class Button>
Button* MakeButton(const QString& caption, QWidget* parent, int left, int top, int width, int height)
{
    auto* button = new Button(caption, parent);
    SetBounds(button, left, top, width, height);
    return button;
}

QLabel* MakeLabel(const QString& caption, QWidget* parent, int left, int top, int width, int height)
{
    auto* label = new QLabel(caption, parent);
    SetBounds(label, left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// Our face runs wider than the one the layout was drawn for: a caption that
// would reach under the edit beside it is set a little tighter, in place.
void FitBeforeEdit(QLabel* label, int editLeft)
{
    const int room = editLeft - label->x();
    const int letters = static_cast<int>(label->text().remove(u'&').size());
    for (int tries = 0; tries < 4 && label->width() > room && letters > 1; ++tries) {
        QFont font = label->font();
        font.setLetterSpacing(QFont::AbsoluteSpacing,
                              font.letterSpacing() - static_cast<qreal>(label->width() - room) / (letters - 1));
        label->setFont(font);
        label->adjustSize();
    }
}

QLineEdit* MakeEdit(QWidget* parent, int left, int top, int width, int height)
{
    auto* edit = new QLineEdit(parent);
    SetBounds(edit, left, top, width, height);
    return edit;
}

} // namespace

void TfrmOrvex::CreateTopRow()
{
    Image4 = new TImage(this);
    SetBounds(Image4, 375, 6, 18, 17);
    Image4->SetStretch(true);
    Image4->SetTransparent(true);
    Guarded([this] {
        auto stereo = std::make_unique<TJPEGImage>();
        stereo->LoadFromBytes(ResourceBytes(QStringLiteral("stereo.jpg")));
        Image4->Picture().SetGraphic(std::move(stereo));
    });

    Label7 = MakeLabel(QStringLiteral("Stereo"), this, 397, 8, 47, 16);
    Label7->setFont(BoldFont(-13));

    rdButtonLOCALAudio = MakeButton<QRadioButton>(QStringLiteral("LOCAL Music"), this, 8, 8, 113, 17);
    rdButtonLOCALAudio->setFont(BoldFont(-11));
    rdButtonLOCALAudio->setChecked(true); // the stored state; start-up switches to Server mode
    rdButtonSERVERAudio = MakeButton<QRadioButton>(QStringLiteral("&SERVER Music"), this, 144, 8, 113, 17);
    rdButtonSERVERAudio->setFont(BoldFont(-11));
    // A radio button's click handler runs when it becomes checked, by the
    // user or by the program.
    // One exclusive pair: clicking the selected one keeps it selected.
    auto* modes = new QButtonGroup(this);
    modes->addButton(rdButtonLOCALAudio);
    modes->addButton(rdButtonSERVERAudio);
    connect(rdButtonLOCALAudio, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Guarded([this] { rdButtonLOCALAudioClick(); });
    });
    connect(rdButtonSERVERAudio, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Guarded([this] { rdButtonSERVERAudioClick(); });
    });

    grpBoxSERVER = new QGroupBox(this);
    SetBounds(grpBoxSERVER, 2, 301, 600, 273);
    SetAnchors(grpBoxSERVER, akLeft | akTop | akRight);
    grpBoxLOCAL = new QGroupBox(this);
    SetBounds(grpBoxLOCAL, 2, 28, 600, 273);
    SetAnchors(grpBoxLOCAL, akLeft | akTop | akRight);

    ProgressTimer = new QTimer(this);
    ProgressTimer->setInterval(100);
    Handle(ProgressTimer, &QTimer::timeout, &TfrmOrvex::ProgressTimerTimer);
    ProgressTimer->start();
}

void TfrmOrvex::CreateServerGroup()
{
    QWidget* group = grpBoxSERVER;

    lblServerLOCATION = MakeLabel(QStringLiteral("SERVER &LOCATION:"), group, 8, 9, 121, 13);
    lblServerLOCATION->setFont(BoldFont(-11));
    Label9 = MakeLabel(QStringLiteral("&Radio:"), group, 355, 10, 38, 13);
    Label9->setFont(BoldFont(-11));

    BitBtnBack = MakeButton<TBitBtn>(QStringLiteral("<<"), group, 232, 2, 25, 23);
    BitBtnBack->setEnabled(false);
    BitBtnBack->setVisible(false);
    BitBtnForw = MakeButton<TBitBtn>(QStringLiteral(">>"), group, 256, 2, 25, 23);
    BitBtnForw->setVisible(false);
    BitBtnSTOP = MakeButton<TBitBtn>(QStringLiteral("x"), group, 280, 2, 23, 23);
    BitBtnSTOP->setVisible(false);
    bitBtnGoSTATION = MakeButton<TBitBtn>(QStringLiteral(">>> PLAY Zorvel Radio"), group, 198, 2, 97, 25);
    bitBtnGoSTATION->setToolTip(QStringLiteral("Home Station"));
    SetAnchors(bitBtnGoSTATION, akTop | akRight);
    bitBtnGoSTATION->setVisible(false);
    Handle(bitBtnGoSTATION, &QPushButton::clicked, &TfrmOrvex::bitBtnGoSTATIONClick);
    Handle(BitBtnBack, &QPushButton::clicked, &TfrmOrvex::BitBtnBackClick);
    Handle(BitBtnForw, &QPushButton::clicked, &TfrmOrvex::BitBtnForwClick);
    Handle(BitBtnSTOP, &QPushButton::clicked, &TfrmOrvex::BitBtnSTOPClick);

    RdButtonHTTPMethod = MakeButton<QRadioButton>(QStringLiteral("http://"), group, 6, 27, 57, 17);
    RdButtonHTTPMethod->setChecked(true);
    RdButtonHTTPMethod->setToolTip(QStringLiteral("Method Transmission"));
    RdButtonMMSMethod = MakeButton<QRadioButton>(QStringLiteral("mms://"), group, 6, 43, 57, 17);
    RdButtonMMSMethod->setToolTip(QStringLiteral("Method Transmission"));

    editAddress = MakeEdit(group, 63, 25, 433, 34);
    SetAnchors(editAddress, akLeft | akTop | akRight);
    SetColor(editAddress, clBlack);
    SetFontColor(editAddress, clSkyBlue);
    editAddress->setFont(MakeFont(QStringLiteral("LcdD"), -27, fsBold));
    editAddress->setText(QString::fromLatin1(kHomeStationAddress));
    editAddress->setMouseTracking(true);
    editAddress->installEventFilter(this);

    bitBtnSETRemote = MakeButton<TBitBtn>(QStringLiteral("&SET Station"), group, 495, 32, 96, 22);
    bitBtnSETRemote->setToolTip(QStringLiteral("SET Station Address"));
    SetAnchors(bitBtnSETRemote, akTop | akRight);
    bitBtnSETRemote->Spacing = 7;
    Guarded([this] { bitBtnSETRemote->SetGlyph(ResourceBitmap(QStringLiteral("set_station.bmp")), 2); });
    Handle(bitBtnSETRemote, &QPushButton::clicked, &TfrmOrvex::bitBtnSETRemoteClick);

    cmbBoxRadio = new QComboBox(group);
    SetBounds(cmbBoxRadio, 400, 8, 201, 21);
    cmbBoxRadio->setEditable(true);
    cmbBoxRadio->setInsertPolicy(QComboBox::NoInsert);
    cmbBoxAddressRadio = new QComboBox(group);
    SetBounds(cmbBoxAddressRadio, 240, 60, 297, 21);
    cmbBoxAddressRadio->setEditable(true);
    cmbBoxAddressRadio->setInsertPolicy(QComboBox::NoInsert);
    for (const Station& station : kStations) {
        cmbBoxRadio->addItem(QString::fromUtf8(station.name));
        cmbBoxAddressRadio->addItem(QString::fromUtf8(station.address));
    }
    // The boxes show their initial texts with nothing selected.
    cmbBoxRadio->setCurrentIndex(-1);
    cmbBoxRadio->setEditText(QString::fromUtf8(kStations[0].name));
    cmbBoxAddressRadio->setCurrentIndex(-1);
    cmbBoxAddressRadio->setEditText(QString::fromLatin1(kHomeStationAddress));
    cmbBoxAddressRadio->setVisible(false);
    // The station box reports a change when a name is picked; what typing
    // does is the station box's own (StationBox.cpp).
    Handle(cmbBoxRadio, &QComboBox::activated, &TfrmOrvex::cmbBoxRadioChange);
    CreateStationBox();

    edtURL = MakeEdit(group, 3, 70, 597, 28);
    SetAnchors(edtURL, akLeft | akTop | akRight);
    edtURL->setFont(MakeFont(QStringLiteral("MS Sans Serif"), -16));
    edtURL->setVisible(false);
    edtURL->installEventFilter(this);

    WebBrowser1 = new WebBrowser(group);
    SetBounds(WebBrowser1, 2, kBrowserTop, 527, 200);
    connect(WebBrowser1, &WebBrowser::CommandStateChange, this, [this](int command, bool enable) {
        Guarded([&] { WebBrowser1CommandStateChange(command, enable); });
    });
    CreateFeed();
    Recording = new RadioRecording(this);

    Image1 = new TImage(group);
    SetBounds(Image1, 529, 110, 55, 55);
    Image1->SetStretch(true);
    Image1->SetTransparent(true);
    Image2 = new TImage(group);
    SetBounds(Image2, 529, 182, 55, 55);
    Image2->SetStretch(true);
    Image2->SetTransparent(true);

    lblServerLOCATION->setBuddy(editAddress);
    Label9->setBuddy(cmbBoxRadio);
}

void TfrmOrvex::CreateLocalGroup()
{
    QWidget* group = grpBoxLOCAL;

    Bevel1 = new TBevel(group);
    SetBounds(Bevel1, 12, 22, 394, 25);
    SetAnchors(Bevel1, akLeft | akTop | akRight);

    txtFolder = new TStaticText(group);
    txtFolder->move(16, 26);
    txtFolder->resize(44, 17);
    Handle(txtFolder, &TStaticText::MouseMove, &TfrmOrvex::txtFolderMouseMove);

    const QString web = QString::fromLatin1(kMakerWebAddress);
    lblKelvaraInc = new TLabel(web.mid(web.indexOf(QLatin1String("://")) + 3), group);
    SetBounds(lblKelvaraInc, 423, 8, 133, 13);
    lblQuilloAudioStation = new TLabel(QString::fromLatin1(kMakerEmailAddress), group);
    SetBounds(lblQuilloAudioStation, 424, 24, 129, 13);
    for (TLabel* link : {lblKelvaraInc, lblQuilloAudioStation}) {
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
        SetFontColor(link, clHighlight);
        link->setCursor(Qt::PointingHandCursor);
        SetAnchors(link, akTop | akRight);
    }
    SetColor(lblKelvaraInc, clBtnFace, /*opaque=*/true);
    Handle(lblKelvaraInc, &TLabel::Click, &TfrmOrvex::lblKelvaraIncClick);
    Handle(lblQuilloAudioStation, &TLabel::Click, &TfrmOrvex::lblQuilloAudioStationClick);

    mp3List = new TListBox(group);
    SetBounds(mp3List, 12, 53, 185, 97);
    mp3List->SetItemHeight(13);
    mp3List->setSortingEnabled(false);
    // A click on a name, the selection moved by the mouse, or moved with the keyboard.
    Handle(mp3List, &TListBox::Click, &TfrmOrvex::mp3ListClick);
    Handle(mp3List, &TListBox::KeySelect, &TfrmOrvex::mp3ListClick);

    bitBtnOpenFolder = MakeButton<TBitBtn>(QStringLiteral("&mp3..."), group, 13, 157, 85, 33);
    bitBtnOpenFolder->setToolTip(QStringLiteral("Converter Item"));
    bitBtnOpenFolder->Spacing = 7;
    Guarded([this] { bitBtnOpenFolder->SetGlyph(ResourceBitmap(QStringLiteral("open_folder.bmp")), 2); });
    Handle(bitBtnOpenFolder, &QPushButton::clicked, &TfrmOrvex::bitBtnOpenFolderClick);

    // The bar's stored width is read before its buttons: three buttons of 29.
    mp3Player = new TMediaPlayer(group);
    mp3Player->Loading = true;
    SetBounds(mp3Player, 108, 157, 85, 30);
    mp3Player->SetVisibleButtons(Bit(btPlay) | Bit(btPause) | Bit(btStop));
    mp3Player->SetEnabledButtons(kAllButtons & ~Bit(btPlay));
    mp3Player->Loaded();

    GroupBox1 = new QGroupBox(QStringLiteral(" Tag information: "), group);
    SetBounds(GroupBox1, 197, 47, 395, 166);
    SetAnchors(GroupBox1, akLeft | akTop | akRight);
    struct TagRow {
        const char* caption;
        int labelLeft, labelTop, editTop;
        QLineEdit** edit;
    };
    const TagRow rows[] = {
        {"&T\u00edtulo", 28, 23, 20, &edtTitle},     {"&Artista", 28, 47, 44, &edtArtist},
        {"Al&bum", 28, 71, 68, &edtAlbum},           {"A&no", 36, 94, 92, &edtYear},
        {"G\u00eane&ro", 22, 116, 116, &edtGenre},   {"&Coment\u00e1rio", 5, 141, 140, &edtComment},
    };
    for (const TagRow& row : rows) {
        QLabel* label = new QLabel(QString::fromUtf8(row.caption), GroupBox1);
        label->move(row.labelLeft, row.labelTop);
        label->adjustSize();
        FitBeforeEdit(label, 60);
        *row.edit = MakeEdit(GroupBox1, 60, row.editTop, 323, 21);
        SetAnchors(*row.edit, akLeft | akTop | akRight);
        label->setBuddy(*row.edit);
    }

    trackBar = new QSlider(Qt::Horizontal, group);
    SetBounds(trackBar, 0, 215, 600, 34);
    SetAnchors(trackBar, akLeft | akTop | akRight);
    trackBar->setTickPosition(QSlider::TicksBelow);
    trackBar->setRange(0, 50);

    Gauge = new TGauge(group);
    SetBounds(Gauge, 13, 248, 579, 17);
    SetAnchors(Gauge, akLeft | akTop | akRight);
    Gauge->SetBackColor(clBlack);
    Gauge->SetForeColor(clHighlight);
    Gauge->Color = clBtnFace;
    Gauge->Font.Height = -19;
    Gauge->Font.Color = clWhite;
}

void TfrmOrvex::SetTabOrders()
{
    // The window's tab chain: the mode buttons, then each group's controls
    // in their tab order.
    const std::vector<QWidget*> chain = {
        rdButtonLOCALAudio, rdButtonSERVERAudio,
        BitBtnBack, BitBtnForw, BitBtnSTOP, edtURL, RdButtonMMSMethod, RdButtonHTTPMethod, WebBrowser1,
        cmbBoxAddressRadio, cmbBoxRadio, bitBtnSETRemote, editAddress, bitBtnGoSTATION,
        txtFolder, mp3List, bitBtnOpenFolder, mp3Player,
        edtTitle, edtArtist, edtAlbum, edtYear, edtGenre, edtComment, trackBar,
    };
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace orvex
