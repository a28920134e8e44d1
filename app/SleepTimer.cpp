#include "SleepTimer.h"

#include "LocalSound.h"
#include "Unit1.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QShortcut>
#include <algorithm>

namespace orvex {

namespace {

constexpr int kTickMs = 250;

} // namespace

SleepTimer::SleepTimer(TfrmOrvex* window) : QObject(window), m_window(window), m_caption(window->windowTitle())
{
    Clock = [] {
        static QElapsedTimer clock;
        if (!clock.isValid())
            clock.start();
        return clock.elapsed();
    };
    m_ticker.setInterval(kTickMs);
    connect(&m_ticker, &QTimer::timeout, this, &SleepTimer::Tick);

    m_menu = new QMenu(window);
    m_menu->setTitle(QStringLiteral("Dormir"));
    for (const int minutes : kMinutes)
        m_menu->addAction(QStringLiteral("Parar em %1 minutos").arg(minutes), this, [this, minutes] { Start(minutes); });
    QAction* trackEnd = m_menu->addAction(QStringLiteral("Parar no fim da faixa local"), this, [this] { StartAtTrackEnd(); });
    QAction* cancel = m_menu->addAction(QStringLiteral("Cancelar o timer"), this, &SleepTimer::Cancel);
    connect(m_menu, &QMenu::aboutToShow, this, [this, trackEnd, cancel] {
        trackEnd->setEnabled(m_window->mp3Player->Opened() && m_window->trackBar->maximum() != 0);
        cancel->setEnabled(Running());
    });
    auto* keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), window);
    connect(keys, &QShortcut::activated, this, [this] {
        m_menu->popup(m_window->mapToGlobal(m_window->rect().center()));
    });

    connect(window->Feed, &StreamFeed::CommandReceived, this, [this](const QString& name, const QString& argument) {
        if (name != QLatin1String("sleep"))
            return;
        if (argument == QLatin1String("off"))
            Cancel();
        else if (argument == QLatin1String("track"))
            StartAtTrackEnd();
        else if (const int minutes = argument.toInt(); std::find(kMinutes.begin(), kMinutes.end(), minutes) != kMinutes.end())
            Start(minutes);
    });
    connect(window, &TfrmOrvex::LocalTrackEnded, this, [this] {
        if (m_mode == Mode::TrackEnd)
            StopAll();
    });
}

void SleepTimer::Start(int minutes)
{
    m_deadline = Clock() + qint64(minutes) * 60 * 1000;
    Begin(Mode::Minutes);
}

bool SleepTimer::StartAtTrackEnd()
{
    if (!m_window->mp3Player->Opened() || m_window->trackBar->maximum() == 0)
        return false;
    Begin(Mode::TrackEnd);
    return true;
}

void SleepTimer::Begin(Mode mode)
{
    SetFade(1.0);
    m_mode = mode;
    // The end of the track stops the run through the folder instead of
    // opening the next one.
    m_window->StopAfterTrack = mode == Mode::TrackEnd;
    m_ticker.start();
    Tick();
}

void SleepTimer::Cancel()
{
    if (m_mode == Mode::Off)
        return;
    m_mode = Mode::Off;
    m_window->StopAfterTrack = false;
    m_ticker.stop();
    SetFade(1.0);
    Show();
}

qint64 SleepTimer::RemainingMs() const
{
    switch (m_mode) {
    case Mode::Off: return -1;
    case Mode::Minutes: return std::max<qint64>(m_deadline - Clock(), 0);
    case Mode::TrackEnd: break;
    }
    TMediaPlayer* player = m_window->mp3Player;
    if (!player->Opened() || m_window->trackBar->maximum() == 0)
        return -1;
    return std::max<qint64>(player->Length() - player->Position(), 0);
}

void SleepTimer::Tick()
{
    if (m_mode == Mode::Off)
        return;
    const qint64 left = RemainingMs();
    if (m_mode == Mode::Minutes && left <= 0) {
        StopAll();
        return;
    }
    // The track's own end fades only while it plays towards it.
    const bool fading = left >= 0 && left < kFadeMs &&
                        (m_mode == Mode::Minutes || m_window->mp3Player->Mode() == mdPlaying);
    SetFade(fading ? double(left) / kFadeMs : 1.0);
    Show();
}

void SleepTimer::StopAll()
{
    m_mode = Mode::Off;
    m_window->StopAfterTrack = false;
    m_ticker.stop();
    if (m_window->RadioPlaying() || m_window->Feed->StreamActive())
        m_window->StopRadio(QStringLiteral("Parado pelo timer de dormir"));
    m_window->StopLocalTrack();
    SetFade(1.0);
    Show();
    emit Stopped();
}

void SleepTimer::SetFade(double fade)
{
    fade = std::clamp(fade, 0.0, 1.0);
    if (fade == m_fade)
        return;
    TMediaPlayer* player = m_window->mp3Player;
    if (m_fade == 1.0)
        m_localVolume = player->Volume();
    m_fade = fade;
    player->SetVolume(int(m_localVolume * fade));
    m_window->Feed->SendSetting(QStringLiteral("fade"), fade == 1.0 ? QString() : QString::number(fade, 'f', 3));
}

QString SleepTimer::LeftText(qint64 ms)
{
    // The time left counts a started second as a whole one.
    return LocalSound::Clock((std::max<qint64>(ms, 0) + 999) / 1000 * 1000);
}

void SleepTimer::Show()
{
    QString left;
    QString caption = m_caption;
    if (m_mode == Mode::TrackEnd) {
        left = QStringLiteral("track");
        caption += QStringLiteral(" \u2014 \u263e no fim da faixa");
    } else if (m_mode == Mode::Minutes) {
        left = LeftText(RemainingMs());
        caption += QStringLiteral(" \u2014 \u263e ") + left;
    }
    m_window->Feed->SendSetting(QStringLiteral("sleep"), left);
    if (m_window->windowTitle() != caption) {
        m_window->setWindowTitle(caption);
        emit Changed();
    }
}

} // namespace orvex
