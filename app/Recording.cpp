#include "Recording.h"

#include "ProgramFiles.h"
#include "Unit1.h"

#include <QFileInfo>

namespace orvex {

RadioRecording::RadioRecording(TfrmOrvex* window) : QObject(window), m_window(window)
{
    StreamFeed* feed = window->Feed;
    connect(feed, &StreamFeed::CommandReceived, this, [this](const QString& name, const QString& argument) {
        if (name != QLatin1String("record"))
            return;
        SetOn(argument == QLatin1String("toggle") ? !m_on : argument == QLatin1String("on"));
    });
    connect(feed, &StreamFeed::StreamOpened, this, [this] {
        if (m_on)
            StartStream();
    });
    connect(feed, &StreamFeed::StreamData, &m_recorder, &StreamRecorder::Write);
    connect(feed, &StreamFeed::StreamTitleChanged, &m_recorder, &StreamRecorder::SetTitle);
    connect(feed, &StreamFeed::StreamClosed, this, [this] {
        // The song under way ends with its station; a tagged file stays.
        m_recorder.Stop();
        ShowStatus();
    });
    connect(&m_recorder, &StreamRecorder::FileStarted, this, &RadioRecording::ShowStatus);
    connect(&m_recorder, &StreamRecorder::Failed, this, [this](const QString& message) {
        m_on = false;
        m_window->Feed->SendStatus(message);
    });
}

QString RadioRecording::RecordingText(const QString& fileName)
{
    return QStringLiteral("Recording: ") + fileName;
}

QString RadioRecording::WaitingText()
{
    return QStringLiteral("Recording: waiting for the station\u2026");
}

void RadioRecording::SetOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    if (!on) {
        m_recorder.Stop();
        ShowStatus();
        return;
    }
    if (m_window->Feed->StreamActive())
        StartStream();
    else
        ShowStatus();
}

void RadioRecording::StartStream()
{
    // Never into the program's own files: the user's music folder then.
    const QString folder = RecordingFolder(m_window->MusicFolder(), ProgramFiles::FirstMusicFolder());
    // Recordings land where Local mode looks.
    if (!folder.isEmpty() && QFileInfo(folder) != QFileInfo(m_window->MusicFolder()))
        m_window->ShowMusicFolder(folder);
    const StreamInfo info = m_window->Feed->ActiveInfo();
    // A song already under way is named by its title.
    if (!m_recorder.Start(folder, info.contentType, m_window->StationName(), m_window->Feed->ActiveTitle())) {
        m_on = false;
        m_window->Feed->SendStatus(m_recorder.Error());
        return;
    }
    ShowStatus();
}

void RadioRecording::ShowStatus()
{
    if (!m_on) {
        m_window->Feed->SendStatus(QString());
        return;
    }
    const QString file = m_recorder.FileName();
    m_window->Feed->SendStatus(file.isEmpty() ? WaitingText() : RecordingText(file));
}

void TfrmOrvex::ShowMusicFolder(const QString& folder)
{
    m_musicFolder = folder;
    FormResize();
    ListMp3Files(m_musicFolder, mp3List);
}

void TfrmOrvex::RefreshTrackList()
{
    const QListWidgetItem* current = mp3List->currentItem();
    const QString selected = current ? current->text() : QString();
    ListMp3Files(m_musicFolder, mp3List);
    const QList<QListWidgetItem*> found = mp3List->findItems(selected, Qt::MatchExactly);
    if (!selected.isEmpty() && !found.isEmpty())
        mp3List->setCurrentItem(found.first());
}

} // namespace orvex
