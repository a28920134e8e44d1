#pragma once

#include <array>

namespace orvex {

struct Station {
    const char* name;    // as the station box shows it
    const char* address; // the full stream address
};

// The eleven stations, paired by position with their stream addresses. The
// home station is a streaming server on this machine; the others stand on
// documentation addresses and example host names.
inline constexpr std::array<Station, 11> kStations{{
    {"Zorvel Radio", "http://127.0.0.1:8000"},
    {"R\u00e1dio Matel\u00e2ndia-PR", "http://192.0.2.10:8080/matelandia"},
    {"FRONTEIRA FM", "http://fronteira.example.com:8000"},
    {"Metropolitana", "http://metropolitana.example.net:8010/"},
    {"Jovempan", "http://jovempan.example.org/live"},
    {"BEAT98", "http://beat98.example.com/stream"},
    {"Globo", "http://globo.example.net/radio"},
    {"Globo AM (RJ)", "http://198.51.100.7:8000"},
    {"SportTV Music", "http://sporttv.example.org/music"},
    {"BH FM", "http://bhfm.example.com:8080"},
    {"Talkwire", "http://203.0.113.80:80"},
}};

inline constexpr const char* kHomeStationAddress = "127.0.0.1:8000";

} // namespace orvex
