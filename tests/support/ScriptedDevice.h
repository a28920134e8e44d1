#pragma once

#include "Mci.h"

#include <map>
#include <memory>
#include <vector>

namespace orvex::testing {

// What a scripted device answers, and what it was sent. Tests set the
// answers, register the device under a type name, and read the commands.
struct DeviceScript {
    struct Sent {
        unsigned message;
        std::uint32_t flags;
        std::uint32_t from = 0, to = 0, item = 0, track = 0, frames = 0, timeFormat = 0;
        QWidget* window = nullptr;
    };
    // Answers
    bool canPlay = true, canRecord = false, canEject = false, hasVideo = false;
    std::uint32_t deviceType = MCI_DEVTYPE_WAVEFORM_AUDIO;
    std::uint32_t mode = MCI_MODE_STOP;
    std::uint32_t timeFormat = MCI_FORMAT_MILLISECONDS;
    std::uint32_t position = 0, length = 10000, tracks = 1;
    std::map<std::uint32_t, std::uint32_t> trackPositions; // by track
    MCI_RECT where{0, 0, 320, 240};
    MCIERROR openResult = 0;
    std::map<unsigned, MCIERROR> results; // by command; 0 when absent
    // Record
    std::vector<Sent> sent;
    QString openedElement;
    std::uint32_t openFlags = 0;
    int opens = 0, closes = 0;

    // The commands sent, leaving out status and capability queries.
    std::vector<Sent> Actions() const;
    void Clear() { sent.clear(); }
};

class ScriptedDevice : public MciDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<DeviceScript> script) : m_script(std::move(script)) {}
    MCIERROR Open(const QString& element, std::uint32_t flags) override;
    MCIERROR Command(unsigned message, std::uint32_t flags, void* params) override;
    void Closing() override { ++m_script->closes; }

private:
    std::shared_ptr<DeviceScript> m_script;
};

// Registers a scripted device under a type name (and the extension "scripted")
// for the life of the object.
class ScopedScriptedDriver {
public:
    explicit ScopedScriptedDriver(const QString& typeName);
    ~ScopedScriptedDriver();
    std::shared_ptr<DeviceScript> script = std::make_shared<DeviceScript>();

private:
    QString m_typeName;
};

} // namespace orvex::testing
