#pragma once

#include "StreamRecorder.h"

#include <QObject>
#include <QString>

namespace orvex {

class TfrmOrvex;

// The player page's Record control, on the program's side: the page's
// "record" command ("on", "off" or "toggle") records the station that plays
// through the page's feed into the folder Local mode lists (or the user's
// own "Orvex" music folder when that one cannot be written, which Local mode
// then lists), and the page's status text says what is written. A station
// that stops or changes ends its file; recording goes on with the next
// stream the page plays until the control is pressed again or writing fails.
class RadioRecording : public QObject {
    Q_OBJECT
public:
    // Follows the window's feed, which must exist.
    explicit RadioRecording(TfrmOrvex* window);

    bool IsOn() const { return m_on; }
    void SetOn(bool on);
    StreamRecorder& Recorder() { return m_recorder; }

    // The status texts the page shows.
    static QString RecordingText(const QString& fileName);
    static QString WaitingText();

private:
    void StartStream();
    void ShowStatus();

    TfrmOrvex* m_window;
    StreamRecorder m_recorder;
    bool m_on = false;
};

} // namespace orvex
