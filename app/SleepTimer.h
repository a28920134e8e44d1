#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>

class QMenu;

namespace orvex {

class TfrmOrvex;

// The sleep timer: after a number of minutes, or at the end of the local
// track that plays, all playback stops (the radio and the local track). The
// sound fades out over the last kFadeMs. While it runs the time left shows
// on the player page's "☾" menu and after the window's caption. Chosen from
// the page's menu (its "sleep" command: minutes, "track" or "off") or from
// the menu Ctrl+T opens; a station change leaves it running, a restart
// forgets it.
class SleepTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int kFadeMs = 10000;
    static constexpr std::array<int, 5> kMinutes{15, 30, 45, 60, 90};

    explicit SleepTimer(TfrmOrvex* window);

    void Start(int minutes);
    // False (and nothing changes) when no local track is open.
    bool StartAtTrackEnd();
    void Cancel();
    bool Running() const { return m_mode != Mode::Off; }
    bool AtTrackEnd() const { return m_mode == Mode::TrackEnd; }
    // Until the stop: of the timer, or of the local track; -1 when off.
    qint64 RemainingMs() const;
    // How much of the sound is left as it fades: 1, down to 0 at the stop.
    double Fade() const { return m_fade; }
    // "m:ss" of a time left, rounded up to the second ("h:mm:ss" past an hour).
    static QString LeftText(qint64 ms);
    // The menu Ctrl+T opens; other choices of the page's menu join it.
    QMenu* Menu() const { return m_menu; }

    // Milliseconds of a steady clock; tests put a clock of their own here
    // and call Tick themselves.
    std::function<qint64()> Clock;
    void Tick();

signals:
    void Changed();
    // All playback was stopped by the timer.
    void Stopped();

private:
    enum class Mode { Off, Minutes, TrackEnd };
    void Begin(Mode mode);
    void StopAll();
    void SetFade(double fade);
    void Show();

    TfrmOrvex* m_window;
    Mode m_mode = Mode::Off;
    qint64 m_deadline = 0;
    double m_fade = 1.0;
    int m_localVolume = 1000; // the local volume the fade started from
    QTimer m_ticker;
    QString m_caption;
    QMenu* m_menu = nullptr;
};

} // namespace orvex
