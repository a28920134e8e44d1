#include "Unit1.h"

#include "Ansi.h"
#include "Application.h"
#include "FileSearch.h"
#include "FolderChooser.h"
#include "Hints.h"
#include "Id3Tag.h"
#include "Jpeg.h"
#include "ProgramFiles.h"
#include "Recording.h"
#include "Shell.h"
#include "Stations.h"
#include "Streams.h"
#include "TextFile.h"
#include "UnitStrs.h"
#include "WindowLayout.h"

#include <QButtonGroup>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QShowEvent>

// The window's pictures are built into the program.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace orvex {

using namespace layout;

namespace {

constexpr int kFolderLabelMargin = 387; // the folder label keeps W - 387 characters

const char* const kCaption = "Orvex v.2.0.6.11 : MULTIChannel BroadCast Internet Radios";

} // namespace

TfrmOrvex::TfrmOrvex(QWidget* parent) : TForm(parent)
{
    InitResources();
    setObjectName(QStringLiteral("frmOrvex"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // The window's own icon (_NET_WM_ICON), as the installed one draws it.
    QIcon icon;
    for (const int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/orvex/icon-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setFont(MakeFont(QStringLiteral("MS Sans Serif"), -11));
    SetColor(this, clBtnFace);
    SetClientSize(605, 301);
    SetConstraints(550, 328);

    CreateTopRow();
    CreateServerGroup();
    CreateLocalGroup();
    SetTabOrders();
    CreateTrackRun();
    CreateKeptStations();
    CenterOnScreen();
    // Hints show folders and addresses as they are, whatever they look like.
    ShowHintsAsPlainText();

    Guarded([this] { FormCreate(); });
}

// ---- creation and showing

void TfrmOrvex::FormCreate()
{
    txtFolder->SetCaption(ProgramFiles::FirstMusicFolder());
    m_musicFolder = txtFolder->Caption();
    ListMp3Files(m_musicFolder, mp3List);
    trackBar->setMaximum(0);
    Gauge->SetMaxValue(0);
    // Checking the Server button and clicking SET Station run their handlers
    // at once; a failure in either ends the creation steps like one of ours.
    RaiseFromHandlers([this] { rdButtonSERVERAudio->setChecked(true); });
    m_boxAddress = editAddress->text(); // the home station's
    RaiseFromHandlers([this] { bitBtnSETRemote->click(); });
}

void TfrmOrvex::showEvent(QShowEvent* event)
{
    TForm::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TfrmOrvex::FormShow()
{
    const QString picture = ProgramFiles::DataFile(kLoudspeakerPicture);
    Image1->Picture().LoadFromFile(picture);
    Image2->Picture().LoadFromFile(picture);
}

// ---- layout

void TfrmOrvex::rdButtonSERVERAudioClick()
{
    SetHeight(kModeHeight);
    grpBoxLOCAL->move(grpBoxLOCAL->x(), kInactiveGroupTop);
    grpBoxSERVER->move(grpBoxSERVER->x(), kActiveGroupTop);
    WebBrowser1->move(WebBrowser1->x(), kBrowserTop);
    KeepKeysToMode(grpBoxLOCAL);
}

void TfrmOrvex::rdButtonLOCALAudioClick()
{
    SetHeight(kModeHeight);
    grpBoxSERVER->move(grpBoxSERVER->x(), kInactiveGroupTop);
    grpBoxLOCAL->move(grpBoxLOCAL->x(), kActiveGroupTop);
    WebBrowser1->move(WebBrowser1->x(), kBrowserTop);
    KeepKeysToMode(grpBoxSERVER);
    // Songs recorded meanwhile show up.
    RefreshTrackList();
}

void TfrmOrvex::FormResize()
{
    // The count is characters computed from a width in pixels; the dots
    // follow whether or not anything was cut.
    txtFolder->SetCaption(LeftChars(m_musicFolder, Width() - kFolderLabelMargin) + QStringLiteral("..."));
}

// ---- the maker's labels and the command runner

void TfrmOrvex::lblKelvaraIncClick()
{
    // The desktop's opener takes the place of the file explorer.
    RunCommandLine(QStringLiteral("xdg-open ") + QString::fromLatin1(kMakerWebAddress), 1);
}

void TfrmOrvex::lblQuilloAudioStationClick() {}

void TfrmOrvex::RunCommandLine(const QString& commandLine, int showMode)
{
    switch (RunProgram(commandLine, showMode)) {
    case kExecOutOfMemory: Application().MessageBox(QStringLiteral("Mem\u00f3ria insuficiente!")); break;
    case kExecFileNotFound:
        Application().MessageBox(QStringLiteral("Arquivo especificado n\u00e3o encontrado!"));
        break;
    case kExecPathNotFound:
        Application().MessageBox(QStringLiteral("Caminho especificado n\u00e3o encontrado!"));
        break;
    default: break;
    }
}

bool TfrmOrvex::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == editAddress && event->type() == QEvent::MouseMove)
        Guarded([this] { editAddressMouseMove(); });
    if (watched == cmbBoxRadio->lineEdit() && event->type() == QEvent::KeyPress)
        return StationBoxKey(*static_cast<QKeyEvent*>(event));
    if (watched == edtURL && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        bool taken = false;
        if (text.size() == 1)
            Guarded([&] { taken = edtURLKeyPress(text[0]); });
        return taken;
    }
    return TForm::eventFilter(watched, event);
}

// ---- the radio: stations, player page and browser

void TfrmOrvex::cmbBoxRadioChange()
{
    cmbBoxAddressRadio->setCurrentIndex(cmbBoxRadio->currentIndex());
    SetStationAddress(cmbBoxAddressRadio->currentText());
    m_stationShown = cmbBoxRadio->currentIndex() >= 0 ? cmbBoxRadio->itemText(cmbBoxRadio->currentIndex())
                                                      : cmbBoxRadio->currentText();
    bitBtnSETRemote->click();
}

void TfrmOrvex::editAddressMouseMove()
{
    editAddress->setToolTip(QStringLiteral("Streaming Address: ") + editAddress->text());
}

QByteArray StreamParameterValue(bool http, const QString& address)
{
    // A quote or an angle bracket would end the parameter and spill the rest
    // of the address into the page; in an address they are percent-encoded.
    QByteArray value = StringToAnsi(address);
    value.replace('"', "%22").replace('<', "%3C").replace('>', "%3E");
    static const QRegularExpression kOwnScheme(QStringLiteral("^(https?|mms)://"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (kOwnScheme.match(address).hasMatch())
        return value;
    return (http ? "http://" : "mms://") + value;
}

QByteArray StreamParameterLine(bool http, const QString& address)
{
    return "      <PARAM NAME=\"FileName\" VALUE=\"" + StreamParameterValue(http, address) + "\">";
}

void TfrmOrvex::bitBtnSETRemoteClick()
{
    constexpr int kParameterLine = 28;
    // One sound at a time: a station set stops the local track.
    StopLocalTrack();
    TTextFile pageTemplate(ProgramFiles::DataFile(kPageTemplate));
    TTextFile page(ProgramFiles::PlayerPageFolder() + QString::fromLatin1(kPlayerPage));
    // The template is opened first, so a missing one creates no page; both
    // files close on every path (their destructors close what is left open).
    pageTemplate.Reset();
    page.Rewrite();
    for (int line = 1; line < kParameterLine; ++line)
        page.WriteLn(pageTemplate.ReadLn());
    pageTemplate.ReadLn();
    page.WriteLn(StreamParameterLine(RdButtonHTTPMethod->isChecked(), editAddress->text()));
    while (!pageTemplate.Eof())
        page.WriteLn(pageTemplate.ReadLn());
    pageTemplate.Close();
    page.Close();
    StationSet(AnsiToString(StreamParameterValue(RdButtonHTTPMethod->isChecked(), editAddress->text())));
    bitBtnGoSTATIONClick();
}

void TfrmOrvex::bitBtnGoSTATIONClick()
{
    WebBrowser1->Navigate(ProgramFiles::PlayerPageFolder() + QString::fromLatin1(kPlayerPage));
}

void TfrmOrvex::BitBtnBackClick()
{
    WebBrowser1->GoBack();
}

void TfrmOrvex::BitBtnForwClick()
{
    WebBrowser1->GoForward();
}

void TfrmOrvex::BitBtnSTOPClick()
{
    WebBrowser1->Stop();
}

bool TfrmOrvex::edtURLKeyPress(QChar key)
{
    if (key != QChar(13))
        return false;
    WebBrowser1->Navigate(edtURL->text());
    return true;
}

void TfrmOrvex::WebBrowser1CommandStateChange(int command, bool enable)
{
    if (command == CSC_UPDATECOMMANDS)
        BitBtnSTOP->setEnabled(WebBrowser1->Busy());
    else if (command == CSC_NAVIGATEFORWARD)
        BitBtnForw->setEnabled(enable);
    else if (command == CSC_NAVIGATEBACK)
        BitBtnBack->setEnabled(enable);
    // The location passes through the code page the field holds.
    edtURL->setText(AnsiToString(StringToAnsi(WebBrowser1->LocationURL())));
}

// ---- track selection and playback progress

void TfrmOrvex::mp3ListClick()
{
    const QListWidgetItem* item = mp3List->currentItem();
    if (mp3List->count() == 0 || !item)
        return;
    m_trackPath = m_musicFolder + item->text();
    ReadId3Tag(m_trackPath, edtTitle, edtArtist, edtAlbum, edtYear, edtGenre, edtComment);
    // The track bar's maximum doubles as the open-track flag: 0 until the
    // device has opened the track.
    trackBar->setMaximum(0);
    Gauge->SetMaxValue(0);
    mp3Player->Close();
    mp3Player->FileName = m_trackPath;
    try {
        mp3Player->Open();
    } catch (const EMCIDeviceError& e) {
        // A damaged file is named, as the file errors name theirs.
        if (mp3Player->Error() != MCIERR_INVALID_FILE)
            throw;
        throw EMCIDeviceError(QStringLiteral("Cannot open file \"%1\". %2").arg(m_trackPath, e.Message()));
    }
    trackBar->setMaximum(mp3Player->Length());
    Gauge->SetMaxValue(mp3Player->Length());
}

void TfrmOrvex::ProgressTimerTimer()
{
    if (trackBar->maximum() == 0)
        return;
    // One reading serves both, so the device is asked once a tick and the
    // two always show the same moment. An unchanged position repaints neither.
    const std::int32_t position = mp3Player->Position();
    // A thumb the user holds stays where the user holds it.
    if (!trackBar->isSliderDown())
        trackBar->setValue(position);
    Gauge->SetProgress(position);
}

// ---- music folder and track list

void TfrmOrvex::bitBtnOpenFolderClick()
{
    const QString folder = BrowseForFolder(QStringLiteral("Mude a pasta com arquivos mp3"), BIF_RETURNONLYFSDIRS, m_musicFolder);
    if (folder.isEmpty())
        return;
    m_musicFolder = folder;
    FormResize();
    ListMp3Files(m_musicFolder, mp3List);
}

void TfrmOrvex::txtFolderMouseMove()
{
    txtFolder->setToolTip(m_musicFolder);
}

QStringList MusicFilePatterns()
{
    return {QStringLiteral("*.mp3"), QStringLiteral("*.flac"), QStringLiteral("*.ogg"), QStringLiteral("*.oga"),
            QStringLiteral("*.opus"), QStringLiteral("*.m4a"), QStringLiteral("*.aac"), QStringLiteral("*.wav")};
}

void ListMp3Files(const QString& folder, QListWidget* list)
{
    list->clear();
    list->addItems(FindFiles(folder, MusicFilePatterns()));
}

} // namespace orvex
