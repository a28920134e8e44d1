#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace orvex {

// What the desktop's media interface sees of the player and asks of it. The
// window answers for both modes (WindowMediaHost); the tests put a fake in
// its place. Times are microseconds, as on the bus.
class MediaHost : public QObject {
    Q_OBJECT
public:
    enum class Status { Stopped, Playing, Paused };
    // What the end of the list (Playlist) or of a track (Track) does.
    enum class Loop { None, Track, Playlist };

    // What plays now. An empty key means nothing is open; a new key is a new
    // track (a station counts as one track, whatever song it plays).
    struct Track {
        QString key;
        QString title;
        QStringList artists;
        QString album;
        qint64 lengthUs = 0; // 0: no length (a stream)
        bool operator==(const Track&) const = default;
    };

    // Everything but the position, read at once.
    struct State {
        Status status = Status::Stopped;
        bool canPlay = false, canPause = false, canGoNext = false, canGoPrevious = false, canSeek = false;
        Track track;
        bool shuffle = false;
        Loop loop = Loop::None;
        bool operator==(const State&) const = default;
    };

    using QObject::QObject;

    virtual State CurrentState() = 0;
    virtual qint64 PositionUs() = 0;

    // Each command does what it can and nothing when it does not fit.
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    // Moves the play of the open track to a position within it.
    virtual void SeekTo(qint64 us) = 0;
    virtual void Raise() = 0;
    virtual void Quit() = 0;
    // Opens a file or address handed over from outside (another start of
    // the program), as its command line would.
    virtual void OpenUri(const QString& /*uri*/) {}
    // The list's order and repeat.
    virtual void SetShuffle(bool /*on*/) {}
    virtual void SetLoop(Loop /*loop*/) {}

signals:
    // Something of the state may have changed (sent freely; the listener compares).
    void Changed();
};

} // namespace orvex
