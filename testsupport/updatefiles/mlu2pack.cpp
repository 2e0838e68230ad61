// mlu2pack: writes one update file whose auxiliary sections and blocks are deterministic
// pseudo-random bytes drawn from the model name. The build makes the sample set built into
// the program with it; the same arguments always give the same file.

#include "mlu2filewriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>

#include <optional>

using marlune::testing::MLU2FileWriter;

namespace {

constexpr int kMaxVersionPart = 255;
constexpr uint32_t kAuxSection1Part = 0;
constexpr uint32_t kAuxSection2Part = 1;
constexpr uint32_t kFirstBlockPart = 2;
// Devices expect a nonzero device data word, as every built-in file carries.
constexpr uint32_t kDefaultDeviceData = 0x4D4C0001;

// "1.07" is major 1, minor 7: 0x0107.
std::optional<uint16_t> parseVersion(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const int major = match.captured(1).toInt();
    const int minor = match.captured(2).toInt();
    if (major > kMaxVersionPart || minor > kMaxVersionPart) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(major << 8 | minor);
}

// FNV-1a of the model name, mixed with the part of the file being filled.
uint32_t contentSeed(const QByteArray& model, uint32_t part)
{
    uint32_t hash = 2166136261u;
    for (char byte : model) {
        hash = (hash ^ static_cast<uint8_t>(byte)) * 16777619u;
    }
    return (hash ^ part) * 16777619u;
}

int fail(const QString& message)
{
    QTextStream(stderr) << "mlu2pack: " << message << '\n';
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes an update file with pseudo-random content."));
    parser.addHelpOption();
    const QCommandLineOption modelOption(QStringLiteral("model"), QStringLiteral("Device model name."),
                                         QStringLiteral("name"));
    const QCommandLineOption firmwareOption(QStringLiteral("firmware-version"),
                                            QStringLiteral("Firmware version, e.g. 1.07."),
                                            QStringLiteral("version"));
    const QCommandLineOption hardwareOption(QStringLiteral("hardware-version"),
                                            QStringLiteral("A compatible hardware version (repeatable)."),
                                            QStringLiteral("version"));
    const QCommandLineOption deviceDataOption(
        QStringLiteral("device-data"),
        QStringLiteral("The header's device data word, decimal or 0x hexadecimal (default 0x%1).")
            .arg(kDefaultDeviceData, 0, 16),
        QStringLiteral("number"));
    const QCommandLineOption blockOption(QStringLiteral("block"),
                                         QStringLiteral("Length of a block in bytes (repeatable)."),
                                         QStringLiteral("length"));
    parser.addOptions({modelOption, firmwareOption, hardwareOption, deviceDataOption, blockOption});
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The update file to write."));
    parser.process(application);

    if (parser.positionalArguments().size() != 1) {
        return fail(QStringLiteral("exactly one output file expected"));
    }
    const QByteArray model = parser.value(modelOption).toUtf8();
    if (model.isEmpty() || model.size() >= MLU2FileWriter::kModelFieldLength) {
        return fail(QStringLiteral("the model name needs 1 to 39 bytes"));
    }

    MLU2FileWriter writer;
    writer.setModel(model);
    const auto firmwareVersion = parseVersion(parser.value(firmwareOption));
    if (!firmwareVersion) {
        return fail(QStringLiteral("bad firmware version"));
    }
    writer.setFirmwareVersion(*firmwareVersion);

    const QStringList hardwareVersions = parser.values(hardwareOption);
    if (hardwareVersions.isEmpty() || hardwareVersions.size() > MLU2FileWriter::kMaxEntries) {
        return fail(QStringLiteral("1 to 8 hardware versions expected"));
    }
    for (const QString& text : hardwareVersions) {
        const auto version = parseVersion(text);
        if (!version) {
            return fail(QStringLiteral("bad hardware version %1").arg(text));
        }
        writer.addHardwareVersion(*version);
    }

    uint32_t deviceData = kDefaultDeviceData;
    if (parser.isSet(deviceDataOption)) {
        bool deviceDataOk = false;
        deviceData = parser.value(deviceDataOption).toUInt(&deviceDataOk, 0);
        if (!deviceDataOk) {
            return fail(QStringLiteral("bad device data"));
        }
    }
    writer.setDeviceData(deviceData);

    const QStringList blockLengths = parser.values(blockOption);
    if (blockLengths.isEmpty() || blockLengths.size() > MLU2FileWriter::kMaxEntries) {
        return fail(QStringLiteral("1 to 8 blocks expected"));
    }
    uint32_t part = kFirstBlockPart;
    for (const QString& text : blockLengths) {
        bool lengthOk = false;
        const int length = text.toInt(&lengthOk);
        if (!lengthOk || length <= 0) {
            return fail(QStringLiteral("bad block length %1").arg(text));
        }
        writer.addBlock(MLU2FileWriter::pseudoRandomBytes(contentSeed(model, part++), length));
    }
    writer.setAuxSection1(MLU2FileWriter::pseudoRandomBytes(contentSeed(model, kAuxSection1Part),
                                                            MLU2FileWriter::kAuxSectionSize));
    writer.setAuxSection2(MLU2FileWriter::pseudoRandomBytes(contentSeed(model, kAuxSection2Part),
                                                            MLU2FileWriter::kAuxSectionSize));

    const QString output = parser.positionalArguments().constFirst();
    if (!writer.writeTo(output)) {
        return fail(QStringLiteral("cannot write %1").arg(output));
    }
    return 0;
}
