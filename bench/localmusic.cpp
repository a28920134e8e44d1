// The track list over a large folder, and reading one file's tag.
#include "BenchMain.h"

#include "Id3Tag.h"
#include "Unit1.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

namespace {

// A folder of 10,000 entries, half of them tracks.
const QTemporaryDir& LargeFolder()
{
    static QTemporaryDir dir;
    static bool filled = false;
    if (!filled) {
        for (int i = 0; i < 10000; ++i) {
            const QString name = QStringLiteral("track %1.%2").arg(i).arg(i % 2 ? QStringLiteral("mp3") : QStringLiteral("txt"));
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        }
        filled = true;
    }
    return dir;
}

void ListMp3FilesOf10000Entries(benchmark::State& state)
{
    const QString folder = LargeFolder().path() + QLatin1Char('/');
    QListWidget list;
    for (auto _ : state) {
        orvex::ListMp3Files(folder, &list);
        benchmark::DoNotOptimize(list.count());
    }
    state.counters["tracks"] = list.count();
}
BENCHMARK(ListMp3FilesOf10000Entries)->Unit(benchmark::kMillisecond);

void ReadId3TagOfATrack(benchmark::State& state)
{
    const QString track = QStringLiteral(ORVEX_SOURCE_DIR "/assets/arpejo.mp3");
    QLineEdit title, artist, album, year, genre, comment;
    for (auto _ : state)
        orvex::ReadId3Tag(track, &title, &artist, &album, &year, &genre, &comment);
}
BENCHMARK(ReadId3TagOfATrack)->Unit(benchmark::kMicrosecond);

} // namespace

ORVEX_BENCHMARK_MAIN()
