#include "demodevicedescription.h"

#include <QStringList>

namespace marlune::testing {

namespace {

constexpr int kMaxModelLength = 39;
constexpr uint16_t kSmallestFrame = 16;
constexpr uint32_t kSlowFlashAnswerDelayMs = 8;

// "1.00" -> 0x0100: each side is one byte of BCD, so its digits read as hexadecimal.
std::optional<uint16_t> parseDeviceVersion(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].size() != 2 || parts[0].size() > 2) {
        return std::nullopt;
    }
    bool majorOk = false;
    bool minorOk = false;
    const uint major = parts[0].toUInt(&majorOk, 16);
    const uint minor = parts[1].toUInt(&minorOk, 16);
    if (!majorOk || !minorOk) {
        return std::nullopt;
    }
    return static_cast<uint16_t>((major << 8) | minor);
}

std::optional<uint32_t> parseNumber(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 0);
    return ok ? std::optional<uint32_t>(value) : std::nullopt;
}

QString versionText(uint16_t version)
{
    return QString::asprintf("%x.%02x", version >> 8, version & 0xFFu);
}

std::optional<DemoDeviceDescription> parseDevice(const QString& text, QString* error)
{
    const QStringList fields = text.split(QLatin1Char(','));
    const QString head = fields.first().trimmed();
    const int colon = head.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        *error = QStringLiteral("\"%1\": expected ftdi:MODEL or usb:MODEL").arg(head);
        return std::nullopt;
    }
    DemoDeviceDescription device;
    const QString kind = head.left(colon);
    if (kind == QLatin1String("ftdi")) {
        device.kind = DemoDeviceDescription::Kind::FtdiBridge;
    } else if (kind == QLatin1String("usb")) {
        device.kind = DemoDeviceDescription::Kind::MakerUsb;
    } else {
        *error = QStringLiteral("\"%1\": the kind is ftdi or usb").arg(kind);
        return std::nullopt;
    }
    device.model = head.mid(colon + 1);
    if (device.model.isEmpty() || device.model.toUtf8().size() > kMaxModelLength) {
        *error = QStringLiteral("\"%1\": a model name has 1 to %2 bytes").arg(head).arg(kMaxModelLength);
        return std::nullopt;
    }

    for (int index = 1; index < fields.size(); ++index) {
        const QString option = fields[index].trimmed();
        const int equals = option.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? option : option.left(equals);
        const QString value = equals < 0 ? QString() : option.mid(equals + 1);
        bool valid = true;
        if (key == QLatin1String("silent") && equals < 0) {
            device.silent = true;
        } else if (key == QLatin1String("keeps-firmware") && equals < 0) {
            device.keepsFirmware = true;
        } else if (key == QLatin1String("restart")) {
            const std::optional<uint32_t> restart = parseNumber(value);
            valid = restart.has_value();
            device.restartMs = restart.value_or(0);
        } else if (key == QLatin1String("locked") && equals < 0) {
            // The emulated bridge has no access rights of its own to refuse.
            if (device.kind != DemoDeviceDescription::Kind::MakerUsb) {
                *error = QStringLiteral("\"%1\": only a usb: device can be locked").arg(option);
                return std::nullopt;
            }
            device.locked = true;
        } else if (key == QLatin1String("held") && equals < 0) {
            if (device.kind != DemoDeviceDescription::Kind::FtdiBridge) {
                *error =
                    QStringLiteral("\"%1\": only an ftdi: bridge can be held by another program").arg(option);
                return std::nullopt;
            }
            device.held = true;
        } else if (key == QLatin1String("hw") || key == QLatin1String("fw")) {
            const std::optional<uint16_t> version = parseDeviceVersion(value);
            valid = version.has_value();
            (key == QLatin1String("hw") ? device.hwVersion : device.fwVersion) = version.value_or(0);
        } else if (key == QLatin1String("frame")) {
            const std::optional<uint32_t> length = parseNumber(value);
            valid = length && *length >= kSmallestFrame && *length <= 0xFFFF;
            device.maxFrameLength = static_cast<uint16_t>(length.value_or(0));
        } else if (key == QLatin1String("delay")) {
            const std::optional<uint32_t> delay = parseNumber(value);
            valid = delay.has_value();
            device.answerDelayMs = delay.value_or(0);
        } else if (key == QLatin1String("error-at")) {
            const QStringList parts = value.split(QLatin1Char('/'));
            const std::optional<uint32_t> segment = parseNumber(parts[0]);
            const std::optional<uint32_t> status =
                parts.size() > 1 ? parseNumber(parts[1])
                                 : std::optional<uint32_t>(DemoDeviceDescription::kDefaultErrorStatus);
            valid = parts.size() <= 2 && segment && status && *status >= 1 && *status <= 0xFF;
            device.errorSegment = segment;
            device.errorStatus = static_cast<uint8_t>(status.value_or(0));
        } else if (key == QLatin1String("plug-in-after")) {
            const std::optional<uint32_t> after = parseNumber(value);
            valid = after.has_value();
            device.plugInAfterMs = after.value_or(0);
        } else if (key == QLatin1String("unplug-at")) {
            device.unplugSegment = parseNumber(value);
            valid = device.unplugSegment.has_value();
        } else {
            *error = QStringLiteral("\"%1\": unknown option").arg(option);
            return std::nullopt;
        }
        if (!valid) {
            *error = QStringLiteral("\"%1\": bad value").arg(option);
            return std::nullopt;
        }
    }
    return device;
}

} // namespace

std::optional<QVector<DemoDeviceDescription>> DemoDeviceDescription::parseList(const QString& text,
                                                                               QString* error)
{
    QVector<DemoDeviceDescription> devices;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (item.trimmed().isEmpty()) {
            continue;
        }
        const std::optional<DemoDeviceDescription> device = parseDevice(item, error);
        if (!device) {
            return std::nullopt;
        }
        devices.append(*device);
    }
    if (devices.isEmpty()) {
        *error = QStringLiteral("no device named");
        return std::nullopt;
    }
    return devices;
}

QVector<DemoDeviceDescription> DemoDeviceDescription::defaultDevices()
{
    // The sample for DEMO-G fits hardware 1.00 and holds 4 KiB: over the modelled 250 kBd
    // line its update takes some seconds.
    DemoDeviceDescription bridge;
    bridge.kind = Kind::FtdiBridge;
    bridge.model = QStringLiteral("DEMO-G");
    bridge.hwVersion = 0x0100;
    bridge.fwVersion = 0x0105;

    DemoDeviceDescription otherHardware;
    otherHardware.kind = Kind::MakerUsb;
    otherHardware.model = QStringLiteral("DEMO-C");
    otherHardware.hwVersion = 0x0200;
    otherHardware.fwVersion = 0x0205;

    // The large DEMO-A sample on the fast maker interface, slowed by a device that takes
    // its time over each segment, as one writing flash does.
    DemoDeviceDescription maker;
    maker.kind = Kind::MakerUsb;
    maker.model = QStringLiteral("DEMO-A");
    maker.hwVersion = 0x0100;
    maker.fwVersion = 0x0098;
    maker.answerDelayMs = kSlowFlashAnswerDelayMs;
    return {bridge, otherHardware, maker};
}

QString DemoDeviceDescription::describe() const
{
    QString line =
        QStringLiteral("%1 %2, hardware %3, firmware %4, frames of %5 bytes, answers after %6 ms")
            .arg(kind == Kind::FtdiBridge ? QStringLiteral("FTDI bridge") : QStringLiteral("maker USB"),
                 model, versionText(hwVersion), versionText(fwVersion))
            .arg(maxFrameLength)
            .arg(answerDelayMs);
    if (silent) {
        line += QStringLiteral(", silent");
    }
    if (keepsFirmware) {
        line += QStringLiteral(", keeps its firmware");
    }
    if (restartMs > 0) {
        line += QStringLiteral(", restarts for %1 ms after an update").arg(restartMs);
    }
    if (errorSegment) {
        line += QStringLiteral(", error 0x%1 at segment %2")
                    .arg(errorStatus, 2, 16, QLatin1Char('0'))
                    .arg(*errorSegment);
    }
    if (plugInAfterMs > 0) {
        line += QStringLiteral(", plugged in after %1 ms").arg(plugInAfterMs);
    }
    if (unplugSegment) {
        line += QStringLiteral(", unplugged at segment %1").arg(*unplugSegment);
    }
    if (locked) {
        line += QStringLiteral(", not to be opened by this user");
    }
    if (held) {
        line += QStringLiteral(", held open by another program");
    }
    return line;
}

} // namespace marlune::testing
