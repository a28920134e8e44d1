#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QSlider;

namespace orvex {

class TfrmOrvex;

// Local mode's time and loudness, in the free space under the player bar:
// the open track's elapsed and total time ("m:ss / m:ss", or h:mm:ss),
// following the track bar on its 100 ms tick; and the local volume, set
// with a small slider or the mouse wheel over the player bar, remembered,
// and given to every track the bar opens.
class LocalSound : public QObject {
    Q_OBJECT
public:
    explicit LocalSound(TfrmOrvex* window);

    // A time as "m:ss", or "h:mm:ss" from an hour on; parts of a second are
    // dropped.
    static QString Clock(qint64 ms);

    QLabel* TimeLabel = nullptr;
    QSlider* VolumeSlider = nullptr;

    // 0 to 100.
    int Volume() const;
    void SetVolume(int volume);
    // "elapsed / total" of times in milliseconds; empty when total is 0.
    static QString TimeText(qint64 elapsedMs, qint64 totalMs);

signals:
    void VolumeChanged(int volume);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowTime();

    TfrmOrvex* m_window;
};

} // namespace orvex
