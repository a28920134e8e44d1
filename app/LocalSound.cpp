#include "LocalSound.h"
#include "ProgramSettings.h"

#include "Unit1.h"

#include <QLabel>
#include <QSettings>
#include <QSlider>
#include <QWheelEvent>
#include <algorithm>

namespace orvex {

namespace {

const QString kVolumeKey = QStringLiteral("LocalMusic/Volume");
constexpr int kWheelStep = 5; // a notch of the wheel, in percent

} // namespace

LocalSound::LocalSound(TfrmOrvex* window) : QObject(window), m_window(window)
{
    QWidget* group = window->grpBoxLOCAL;
    // Under the folder button and the player bar, above the track bar.
    TimeLabel = new QLabel(group);
    TimeLabel->setObjectName(QStringLiteral("lblTrackTime"));
    TimeLabel->setGeometry(14, 193, 100, 17);
    TimeLabel->setTextFormat(Qt::PlainText);
    VolumeSlider = new QSlider(Qt::Horizontal, group);
    VolumeSlider->setObjectName(QStringLiteral("trkLocalVolume"));
    VolumeSlider->setGeometry(116, 193, 78, 17);
    VolumeSlider->setRange(0, 100);
    VolumeSlider->setSingleStep(kWheelStep);
    VolumeSlider->setPageStep(20);
    VolumeSlider->setToolTip(QStringLiteral("Volume"));
    QWidget::setTabOrder(window->mp3Player, VolumeSlider);
    QWidget::setTabOrder(VolumeSlider, window->edtTitle);

    const int remembered = std::clamp(ProgramSettings().value(kVolumeKey, 100).toInt(), 0, 100);
    VolumeSlider->setValue(remembered);
    window->mp3Player->SetVolume(remembered * 10);
    connect(VolumeSlider, &QSlider::valueChanged, this, [this](int volume) {
        m_window->mp3Player->SetVolume(volume * 10);
        ProgramSettings().setValue(kVolumeKey, volume);
        VolumeSlider->setToolTip(QStringLiteral("Volume: %1%").arg(volume));
        emit VolumeChanged(volume);
    });
    window->mp3Player->installEventFilter(this);
    // The track bar has just been given the tick's position.
    connect(window->ProgressTimer, &QTimer::timeout, this, &LocalSound::ShowTime);
    connect(window->trackBar, &QSlider::rangeChanged, this, &LocalSound::ShowTime);
    connect(window->trackBar, &QSlider::sliderMoved, this, &LocalSound::ShowTime);
}

int LocalSound::Volume() const
{
    return VolumeSlider->value();
}

void LocalSound::SetVolume(int volume)
{
    VolumeSlider->setValue(std::clamp(volume, 0, 100));
}

QString LocalSound::Clock(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString LocalSound::TimeText(qint64 elapsedMs, qint64 totalMs)
{
    if (totalMs <= 0)
        return QString();
    return Clock(elapsedMs) + QStringLiteral(" / ") + Clock(totalMs);
}

void LocalSound::ShowTime()
{
    const QSlider* bar = m_window->trackBar;
    const QString text = TimeText(bar->sliderPosition(), bar->maximum());
    if (TimeLabel->text() != text)
        TimeLabel->setText(text);
}

bool LocalSound::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window->mp3Player && event->type() == QEvent::Wheel) {
        const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        if (notches != 0)
            SetVolume(Volume() + notches * kWheelStep);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvex
