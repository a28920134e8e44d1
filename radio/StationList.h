#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvex {

// A station as the public station directory describes it. Everything here
// came from the network: names, tags and addresses are data, shown as plain
// text and never opened unless PlayableAddress says so.
struct DirectoryStation {
    QString uuid; // stationuuid: the directory's key
    QString name;
    QString url;
    QString urlResolved;
    QString homepage;
    QString favicon;
    QStringList tags;
    QString countryCode;
    QStringList languages;
    QString codec;
    int bitrate = 0;
    bool hls = false;
    int votes = 0;
    int clickCount = 0;
    bool lastCheckOk = true;

    // The address to play: the resolved one when it is playable, else the
    // given one; empty when neither is.
    QString PlayAddress() const;
};

// A choice of the search's country and tag lists.
struct DirectoryChoice {
    QString name;  // what is shown
    QString value; // what the search sends (a country's code, a tag's name)
    int stationCount = 0;
};

// The directory's answers read as data of the expected shape. A reply that
// is no JSON array gives an error; an entry of the wrong shape (not an
// object, a field of the wrong type, no name, no playable address) is
// skipped and counted.
struct StationParse {
    QList<DirectoryStation> stations;
    int skipped = 0;
    QString error; // empty when the reply was a list
};
StationParse ParseStations(const QByteArray& json);
// /json/countries ("iso_3166_1") and /json/tags ("name") lists.
QList<DirectoryChoice> ParseChoices(const QByteArray& json, bool countries, QString* error);

// Only http, https and mms addresses are played; any other scheme
// (javascript:, file:, data: ...) and anything that is no address gives "".
QString PlayableAddress(const QString& address);

} // namespace orvex
