#pragma once

#include "MediaHost.h"
#include "MediaPlayer.h"

namespace orvex {

class TfrmOrvex;

// The window as the desktop's media interface sees it. In Local mode the
// player bar decides: its status is the device's, and Play, Pause and Stop
// press the bar's buttons, so they act only when the bar would let a click
// through; Next and Previous open the neighbouring track of the list as a
// click does. In Server mode the player page plays the station of the
// station box; Next and Previous pick the neighbouring station.
class WindowMediaHost : public MediaHost {
    Q_OBJECT
public:
    explicit WindowMediaHost(TfrmOrvex& window);

    State CurrentState() override;
    qint64 PositionUs() override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SeekTo(qint64 us) override;
    void Raise() override;
    void Quit() override;

private:
    bool LocalMode() const;
    // Whether the bar would take a click on the button now.
    bool BarAllows(TMPBtnType kind) const;
    // Clicks the bar's button as the mouse does.
    void PressBarButton(TMPBtnType kind);
    Status LocalStatus() const;
    State LocalState();
    State ServerState();
    // Opens the track at a row of the list, as a click on it does; a play
    // going on goes on with the new track.
    void OpenTrack(int row);
    // Picks the station at a position of the station box.
    void PickStation(int index);
    int StationIndex() const;
    // Runs a window handler; what it raises is shown once the bus call has
    // been answered, as the handler's own failures are.
    template <class F>
    void RunHandler(F&& handler);
    void ChangedLater();

    TfrmOrvex& m_window;
};

} // namespace orvex
