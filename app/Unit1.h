#pragma once

#include "Application.h"
#include "Forms.h"
#include "Gauge.h"
#include "ListBox.h"
#include "MediaPlayer.h"
#include "StationBox.h"
#include "StdControls.h"
#include "StreamFeed.h"
#include "WebBrowser.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPointer>
#include <QSet>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <vector>

namespace orvex {

class RadioRecording;
class MyStations;
class DirectoryClient;
class DirectoryWindow;

// The maker's addresses shown by the two link labels of the Local view.
inline constexpr const char* kMakerWebAddress = "http://www.kelvara.example.com";
inline constexpr const char* kMakerEmailAddress = "quillo@example.com";
inline constexpr const char* kLoudspeakerPicture = "auto_falantes1.gif";
inline constexpr const char* kPageTemplate = "indexIIc.htm";
inline constexpr const char* kPlayerPage = "indexII.htm";

// Line 28 of the player page: the media object's FileName parameter naming
// the stream, as bytes of the page. An address typed with its own scheme
// (http://, https://, mms://, any case) is used as typed; any other gets
// the method's scheme.
QByteArray StreamParameterLine(bool http, const QString& address);
// The parameter's value alone: what the page reads as its stream address.
QByteArray StreamParameterValue(bool http, const QString& address);

// The program's one window. It carries the controls of both modes at once;
// switching modes moves the two group boxes, so that the active one sits
// under the mode buttons and the other is pushed to the bottom edge.
class TfrmOrvex : public TForm {
    Q_OBJECT
public:
    // Builds every control, then runs the creation steps.
    explicit TfrmOrvex(QWidget* parent = nullptr);
    ~TfrmOrvex() override;

    // Top row
    TImage* Image4 = nullptr;
    QLabel* Label7 = nullptr;
    QRadioButton* rdButtonLOCALAudio = nullptr;
    QRadioButton* rdButtonSERVERAudio = nullptr;
    QGroupBox* grpBoxSERVER = nullptr;
    QGroupBox* grpBoxLOCAL = nullptr;
    QTimer* ProgressTimer = nullptr;

    // Server group
    QLabel* lblServerLOCATION = nullptr;
    QLabel* Label9 = nullptr;
    TBitBtn* BitBtnBack = nullptr;
    TBitBtn* BitBtnForw = nullptr;
    TBitBtn* BitBtnSTOP = nullptr;
    TBitBtn* bitBtnGoSTATION = nullptr;
    QRadioButton* RdButtonHTTPMethod = nullptr;
    QRadioButton* RdButtonMMSMethod = nullptr;
    QLineEdit* editAddress = nullptr;
    TBitBtn* bitBtnSETRemote = nullptr;
    QComboBox* cmbBoxRadio = nullptr;
    QComboBox* cmbBoxAddressRadio = nullptr;
    QLineEdit* edtURL = nullptr;
    WebBrowser* WebBrowser1 = nullptr;
    TImage* Image1 = nullptr;
    TImage* Image2 = nullptr;

    // Local group
    TBevel* Bevel1 = nullptr;
    TStaticText* txtFolder = nullptr;
    TLabel* lblKelvaraInc = nullptr;
    TLabel* lblQuilloAudioStation = nullptr;
    TListBox* mp3List = nullptr;
    TBitBtn* bitBtnOpenFolder = nullptr;
    TMediaPlayer* mp3Player = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* edtTitle = nullptr;
    QLineEdit* edtArtist = nullptr;
    QLineEdit* edtAlbum = nullptr;
    QLineEdit* edtYear = nullptr;
    QLineEdit* edtGenre = nullptr;
    QLineEdit* edtComment = nullptr;
    QSlider* trackBar = nullptr;
    TGauge* Gauge = nullptr;

    // The window's two strings.
    const QString& MusicFolder() const { return m_musicFolder; }
    void SetMusicFolder(const QString& folder) { m_musicFolder = folder; }
    const QString& TrackPath() const { return m_trackPath; }

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    void rdButtonSERVERAudioClick();
    void rdButtonLOCALAudioClick();
    void lblKelvaraIncClick();
    void lblQuilloAudioStationClick();
    void bitBtnSETRemoteClick();
    void bitBtnGoSTATIONClick();
    void BitBtnBackClick();
    void BitBtnForwClick();
    void BitBtnSTOPClick();
    // Returns true when the key was taken (and is not to reach the field).
    bool edtURLKeyPress(QChar key);
    void WebBrowser1CommandStateChange(int command, bool enable);
    void cmbBoxRadioChange();
    void editAddressMouseMove();
    void bitBtnOpenFolderClick();
    void mp3ListClick();
    void txtFolderMouseMove();
    void ProgressTimerTimer();

    // The radio as the rest of the program sees it. The page plays through
    // Feed, and tells its state there.
    StreamFeed* Feed = nullptr;
    // The current song title, empty when none.
    QString StreamTitle() const { return m_streamTitle; }
    // The station's own name when it sends one, else the station box's name.
    QString StationName() const;
    // The name the station box shows for the station that plays (a typed
    // address when one plays); typing in the box does not change it.
    const QString& StationShown() const { return m_stationShown; }
    // Plays an address typed into the station box (or given from outside):
    // the box and the address field show it, with its method, and it is set.
    void PlayTypedAddress(const TypedAddress& typed);
    // Whether the page plays a stream now.
    bool RadioPlaying() const;
    // The page plays line 28's address again.
    void PlayRadio();
    // The page stops, the station's connection closes, and the page shows
    // the reason with a way to play again.
    void StopRadio(const QString& reasonShownOnPage);
    // The page's Record control.
    RadioRecording* Recording = nullptr;
    // Makes folder the current music folder and lists it, as choosing it does.
    void ShowMusicFolder(const QString& folder);
    // Lists the current music folder again, keeping the selected track.
    void RefreshTrackList();

    // Starts a program from a command line and reports the three failures
    // the user can act on; never raises.
    static void RunCommandLine(const QString& commandLine, int showMode);

    // ---- the track list played through (LocalTracks.cpp)
    // Opens the track at that row as a click on it would: the selection
    // moves there, its tag shows and the device opens it. False when the row
    // is out of range or the track could not be opened (shown as a click's
    // error is).
    bool OpenTrackAt(int index);
    // Opens and plays the next (previous) track of the list, skipping tracks
    // that cannot be opened, as the play through the folder does at the end
    // of a track; past the end of the list only with repeat on.
    void PlayNextTrack();
    void PlayPreviousTrack();
    // Moves the play of the open track to ms, as the track bar does.
    void SeekTo(int ms);
    // Whether the end of a track opens and plays the next one, and whether
    // the end of the list starts it again; both remembered between runs.
    bool PlayThrough() const { return m_playThrough; }
    void SetPlayThrough(bool on);
    bool RepeatList() const { return m_repeatList; }
    void SetRepeatList(bool on);
    QAction* actPlayThrough = nullptr;
    QAction* actRepeatList = nullptr;
    // The list in an order of its own, every track once a round before any
    // plays again; and the open track played again at its end instead of
    // the next one (ListOrder.cpp). Both remembered.
    bool Shuffle() const { return m_shuffle; }
    void SetShuffle(bool on);
    bool RepeatTrack() const { return m_repeatTrack; }
    void SetRepeatTrack(bool on);
    QAction* actShuffle = nullptr;
    QAction* actRepeatTrack = nullptr;

    // ---- My stations and the station directory (KeptStations.cpp)
    // My stations follow the eleven in both lists of the station box.
    MyStations* KeptStations = nullptr;
    DirectoryClient* Directory = nullptr;
    // The directory's window, made when first shown.
    DirectoryWindow* DirectoryView = nullptr;
    void ShowDirectory();
    // Plays an address as a picked station plays, under that name.
    void PlayStation(const QString& name, const QString& address);
    // Keeps the address that is set (as the page plays it) in My stations.
    bool KeepCurrentStation(const QString& name);
signals:
    // The title or the station's name changed.
    void StreamInfoChanged();
    // RadioPlaying changed.
    void RadioStateChanged();

protected:
    // The window is sized before its controls exist; the label is fitted
    // from the first resize after that.
    void OnResize() override
    {
        if (txtFolder)
            Guarded([this] { FormResize(); });
    }
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Connects a control's event to a handler of the window; an exception
    // that leaves the handler reaches the application's exception handler.
    template <class Sender, class Signal>
    void Handle(Sender* sender, Signal signal, void (TfrmOrvex::*handler)())
    {
        connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    }

    void CreateTopRow();
    void CreateServerGroup();
    void CreateLocalGroup();
    void SetTabOrders();
    // The station box (StationBox.cpp): takes text typed into it as it
    // shows after completion, and Enter and Esc.
    void CreateStationBox();
    QStringList StationNames() const;
    void StationTyped();
    bool StationBoxKey(const QKeyEvent& key);
    // Play through the folder, seeking and the list's menu.
    void CreateTrackRun();
    void OpenRow(int row);
    void StepTrack(int direction);
    void CreateListOrder();
    // The row after (before) row in the shuffled order; past the round's
    // end -1 or the list's count, unless the list repeats.
    int ShuffledRow(int row, int direction);
    // A new shuffled order, opened by first when it is a row, else not by notFirst.
    void NewOrder(int first, int notFirst);
    void TrackEnded();
    void TrackBarMoved(int action);
    void LocalSoundStarted();
    void StopLocalTrack();
    // Keys and focus for the shown mode only.
    void KeepKeysToMode(QWidget* hidden);
    bool focusNextPrevChild(bool next) override;
    // Starts the page's feed and follows what it reports.
    void CreateFeed();
    // A new station is set: hands its address to the feed and forgets the
    // last one's name and title.
    void StationSet(const QString& address);
    void SetStreamText(const QString& name, const QString& title);
    // My stations and the directory (KeptStations.cpp).
    void CreateKeptStations();
    void ListKeptStations();
    void StationBoxMenu(const QPoint& at);
    // Fills the address field and the method from a full address, as a
    // picked station does.
    void SetStationAddress(const QString& address);

    QString m_musicFolder;
    QString m_trackPath;
    bool m_stationTyped = false; // typed station text waits to be taken
    QString m_boxAddress;        // what the station box's pick put into the address field
    QString m_stationShown;      // the station box's name of what plays
    bool m_playThrough = true;
    bool m_repeatList = false;
    bool m_shuffle = false;
    bool m_repeatTrack = false;
    std::vector<int> m_order; // the shuffled rows of this round
    QString m_orderFolder;    // the folder they are rows of
    bool m_endQueued = false;                // the end of a track waits to be taken
    QSet<QString> m_skipsShown; // tracks whose open error a run has shown
    QString m_skipsFolder;      // the folder of that run
    // What the controls of the mode not shown gave up: their focus, a
    // label's buddy (its mnemonic), a button's mnemonic.
    struct KeptKeys {
        QPointer<QWidget> control;
        Qt::FocusPolicy focus = Qt::NoFocus;
        QPointer<QWidget> buddy;
        QKeySequence shortcut;
    };
    std::vector<KeptKeys> m_keysKept;
    QPointer<QWidget> m_hiddenGroup;
    QString m_streamName;
    QString m_streamTitle;
    bool m_radioPlaying = false;
};

// The music files the track list shows, as wildcards: MP3 and the other
// formats people keep (FLAC, Ogg, Opus, M4A, AAC, WAV), any case.
QStringList MusicFilePatterns();
// Lists the folder's music files into the list, replacing what it held.
void ListMp3Files(const QString& folder, QListWidget* list);

} // namespace orvex
