// The order the list plays in: shuffled (every track once a round before
// any plays again) and the open track repeated, two remembered choices of
// the list's menu beside the play through the folder and its repeat.

#include "Unit1.h"
#include "ProgramSettings.h"

#include <QRandomGenerator>
#include <QSettings>
#include <algorithm>
#include <numeric>

namespace orvex {

namespace {

const QString kShuffleKey = QStringLiteral("LocalMusic/Shuffle");
const QString kRepeatTrackKey = QStringLiteral("LocalMusic/RepeatTrack");

} // namespace

void TfrmOrvex::CreateListOrder()
{
    QSettings settings = ProgramSettings();
    m_shuffle = settings.value(kShuffleKey, false).toBool();
    m_repeatTrack = settings.value(kRepeatTrackKey, false).toBool();
    actShuffle = new QAction(QStringLiteral("Ordem aleat\u00f3ria"), mp3List);
    actShuffle->setCheckable(true);
    actShuffle->setChecked(m_shuffle);
    connect(actShuffle, &QAction::toggled, this, [this](bool on) { SetShuffle(on); });
    actRepeatTrack = new QAction(QStringLiteral("Repetir a faixa"), mp3List);
    actRepeatTrack->setCheckable(true);
    actRepeatTrack->setChecked(m_repeatTrack);
    connect(actRepeatTrack, &QAction::toggled, this, [this](bool on) { SetRepeatTrack(on); });
    mp3List->addAction(actShuffle);
    mp3List->addAction(actRepeatTrack);
}

void TfrmOrvex::SetShuffle(bool on)
{
    m_shuffle = on;
    m_order.clear();
    actShuffle->setChecked(on);
    ProgramSettings().setValue(kShuffleKey, on);
}

void TfrmOrvex::SetRepeatTrack(bool on)
{
    m_repeatTrack = on;
    actRepeatTrack->setChecked(on);
    ProgramSettings().setValue(kRepeatTrackKey, on);
}

void TfrmOrvex::NewOrder(int first, int notFirst)
{
    const int count = mp3List->count();
    m_order.resize(static_cast<std::size_t>(count));
    std::iota(m_order.begin(), m_order.end(), 0);
    std::shuffle(m_order.begin(), m_order.end(), *QRandomGenerator::global());
    // The track that plays opens the round; the one that ended a round does
    // not open the next.
    const auto at = [this](int row) { return std::find(m_order.begin(), m_order.end(), row); };
    if (at(first) != m_order.end())
        std::iter_swap(m_order.begin(), at(first));
    else if (count > 1 && m_order.front() == notFirst)
        std::iter_swap(m_order.begin(), m_order.end() - 1);
    m_orderFolder = m_musicFolder;
}

int TfrmOrvex::ShuffledRow(int row, int direction)
{
    const int count = mp3List->count();
    if (static_cast<int>(m_order.size()) != count || m_orderFolder != m_musicFolder)
        NewOrder(row, -1);
    const auto at = std::find(m_order.begin(), m_order.end(), row);
    int position = at != m_order.end() ? static_cast<int>(at - m_order.begin()) : (direction > 0 ? -1 : count);
    position += direction;
    if (position >= 0 && position < count)
        return m_order[static_cast<std::size_t>(position)];
    // The round is over: past the list's end, unless it repeats in a new order.
    if (!m_repeatList)
        return direction > 0 ? count : -1;
    NewOrder(-1, row);
    return direction > 0 ? m_order.front() : m_order.back();
}

} // namespace orvex
