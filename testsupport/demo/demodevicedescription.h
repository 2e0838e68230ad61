#pragma once

#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

namespace marlune::testing {

// One emulated device of the demo, as the tester describes it in MARLUNE_DEMO_DEVICES:
//
//   devices := device { ";" device }
//   device  := ("ftdi" | "usb") ":" model { "," option }
//   option  := "hw=" version | "fw=" version | "frame=" bytes | "delay=" ms | "silent"
//            | "error-at=" segment [ "/" status ] | "unplug-at=" segment | "locked" | "held"
//
// Versions are written as the device reports them, major "." minor in BCD digits (1.00,
// 2.10). Segments count the Data segments of updates from 0. Example:
//
//   ftdi:DEMO-A,hw=1.00;usb:DEMO-C,hw=2.00;usb:DEMO-B,error-at=12/0x07
struct DemoDeviceDescription
{
    enum class Kind
    {
        FtdiBridge,
        MakerUsb,
    };

    static constexpr uint8_t kDefaultErrorStatus = 0x07;

    Kind kind = Kind::FtdiBridge;
    QString model;
    uint16_t hwVersion = 0x0100;
    uint16_t fwVersion = 0x0100;
    uint16_t maxFrameLength = 100;
    // How long the device takes to answer each frame, as a device writing flash would.
    uint32_t answerDelayMs = 2;
    bool silent = false;
    // Takes every update and still reports the firmware it had.
    bool keepsFirmware = false;
    // Answers nothing this long after installing an update, as one starting new firmware.
    uint32_t restartMs = 0;
    std::optional<uint32_t> errorSegment;
    uint8_t errorStatus = kDefaultErrorStatus;
    std::optional<uint32_t> unplugSegment;
    // Plugged in only this long after the demo starts, as a unit brought to a running program.
    uint32_t plugInAfterMs = 0;
    // Maker USB only: the device node refuses this user, as without the udev rules.
    bool locked = false;
    // FTDI bridge only: another program (lighting software, say) holds the bridge open.
    bool held = false;

    // The devices described by text; on a mistake, nothing and the reason in *error.
    static std::optional<QVector<DemoDeviceDescription>> parseList(const QString& text, QString* error);

    // What the demo attaches when the tester names nothing: a bridge whose model and
    // hardware fit a built-in sample, a maker device whose hardware version the sample for
    // its model does not list, and a maker device that fits the largest sample.
    static QVector<DemoDeviceDescription> defaultDevices();

    // One line for the console: kind, model, versions and faults.
    QString describe() const;
};

} // namespace marlune::testing
