#pragma once

#include "MediaHost.h"
#include "MediaPlayer.h"

namespace orvex {

class TfrmOrvex;

// The window as the desktop's media interface sees it, following what plays
// (the mode shown when nothing does). For a local track the player bar
// decides: its status is the device's, and Play, Pause and Stop press the
// bar's buttons, only when the bar would let a click through; Next and
// Previous open the neighbouring track of the list as a click does. For the radio the player page plays the station of the station
// box; Pause stops it, and Next and Previous pick the neighbouring station.
// Commands run once the bus call is answered, as the window's own handlers.
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
    void OpenUri(const QString& uri) override;
    void SetShuffle(bool on) override;
    void SetLoop(Loop loop) override;

private:
    bool LocalMode() const;
    // Whether the bar would take a click on the button now.
    bool BarAllows(TMPBtnType kind) const;
    // Presses the bar's button when the bar would take the click.
    void PressBarButton(TMPBtnType kind);
    Status LocalStatus() const;
    State LocalState();
    State ServerState();
    // The row of the list's next (1) or previous (-1) track, or -1.
    int NeighbourRow(int direction) const;
    // Opens the neighbouring track as a click on it does; a play going on
    // goes on with it.
    void StepTrack(int direction);
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
