#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace orvex {

class DirectoryClient;
struct DirectoryStation;

// A station the user keeps. Directory stations carry the directory's key;
// stations the user added by address or imported carry none.
struct KeptStation {
    QString uuid;
    QString name;          // as the station box shows it (the user may rename it)
    QString address;       // the full stream address, with its scheme
    QString directoryName; // the name the directory gave, to tell a rename apart
    QString favicon;
    bool gone = false;     // the directory no longer knows it
};

// My stations: the user's own list, after the eleven wherever the stations
// have an order. It lives in one JSON file in the user's data folder,
// written whole or not at all (QSaveFile), so that a full disk leaves the
// old file as it was. A file that cannot be read as stations is moved aside
// (".bad", never over an older one) and the user is told once.
class MyStations : public QObject {
    Q_OBJECT
public:
    // file: where the list lives; empty for stations.json in the user's data folder.
    explicit MyStations(const QString& file = QString(), QObject* parent = nullptr);

    const QString& File() const { return m_file; }
    // Reads the file. What could not be read is kept aside, and Problem()
    // says where, until TakeProblem() hands it to the user.
    void Load();
    QString TakeProblem();

    const QList<KeptStation>& Stations() const { return m_stations; }
    int IndexOf(const QString& uuid) const;
    bool Contains(const QString& uuid) const { return IndexOf(uuid) >= 0; }

    // Each change is saved at once; on failure Failed says why, and the
    // file keeps its last good content.
    // Adds a station, or updates the one with the same directory key;
    // false when the address is not one the program plays.
    bool Add(const KeptStation& station);
    bool AddFromDirectory(const DirectoryStation& station);
    void Remove(int index);
    void Rename(int index, const QString& name);
    // Moves the station one place up (-1) or down (+1).
    void Move(int index, int step);

    // A .m3u, .pls or .xspf file's stations; returns how many were added,
    // -1 with error set when the file could not be read.
    int Import(const QString& playlist, QString* error);
    // My stations as an .m3u with their names.
    bool Export(const QString& playlist, QString* error) const;

    // Asks the directory for its entries of the kept directory stations, in
    // the background: a new address or name is taken over (a name the user
    // gave stays), and a station the directory no longer knows is kept,
    // marked as gone.
    void Refresh(DirectoryClient& directory);

signals:
    void Changed();
    void Failed(const QString& message);

private:
    void Save();
    // Keeps the file as it is under a .bad name; keepFile copies it there.
    void SetAside(const QString& why, bool keepFile);

    QString m_file;
    QList<KeptStation> m_stations;
    QString m_problem;
};

} // namespace orvex
