#include "firmwareversion.h"
#include "minisignsigner.h"
#include "mlu2file.h"
#include "registerbuiltinupdatefiles.h"
#include "updatefilebuilder.h"
#include "updatefilecheck.h"
#include "updatefilefolder.h"

#include <QTemporaryDir>
#include <QTest>

using marlune::testing::MinisignSigner;
using marlune::testing::MLU2FileWriter;
using marlune::testing::UpdateFileBuilder;
using marlune::testing::UpdateFileFolder;
using Problem = MLU2FileProblem::Kind;
using Verdict = UpdateFileVerdict::Kind;
using Signature = UpdateFileSignatureVerdict::Kind;
using Key = MinisignSigner::Key;

Q_DECLARE_METATYPE(MLU2FileProblem::Kind)
Q_DECLARE_METATYPE(UpdateFileVerdict::Kind)
Q_DECLARE_METATYPE(marlune::FirmwareOrder)
Q_DECLARE_METATYPE(UpdateFileSignatureVerdict::Kind)

namespace {

// DEMO-5, firmware 1.07, hardware 1.00 and 1.02, blocks of 300 and 40 bytes.
MLU2FileWriter demoWriter(const QByteArray& model = "DEMO-5")
{
    UpdateFileBuilder file;
    file.model = model;
    file.hardwareVersions = {0x0100, 0x0102};
    file.blocks = {QByteArray(300, '\x5a'), QByteArray(40, '\xa5')};
    return file.writer();
}

// Changes one byte of a file in place.
void changeByte(const QString& path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset)) {
        qFatal("cannot change %s", qPrintable(path));
    }
    char byte = 0;
    file.getChar(&byte);
    file.seek(offset);
    file.putChar(static_cast<char>(byte ^ 0x01));
}

// Changes one character of the line that starts with prefix in a signature file, at
// position from that line's start, to another of the same kind.
void changeSignatureLine(const QString& path, const QByteArray& prefix, int position)
{
    QFile file(path + QStringLiteral(".minisig"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(file.fileName()));
    }
    QByteArray text = file.readAll();
    file.close();
    const int at = text.indexOf(prefix) + position;
    text[at] = text.at(at) == 'A' ? 'B' : 'A';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
}

} // namespace

class TestUpdateFileCheck : public QObject
{
    Q_OBJECT

private:
    UpdateFileFolder m_folder;

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        registerBuiltInUpdateFiles();
    }

    void verdictNamesTheFirstFailedRequirement_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("deviceModel");
        QTest::addColumn<int>("deviceHwVersion");
        QTest::addColumn<Verdict>("kind");
        QTest::addColumn<Problem>("problem");
        // The header's facts, present whenever the header could be read.
        QTest::addColumn<QString>("fileModel");

        const QString demo = m_folder.write(demoWriter());
        QTest::newRow("fits") << demo << "DEMO-5" << 0x0102 << Verdict::Fits << Problem::None << "DEMO-5";
        QTest::newRow("no file") << QString() << "DEMO-5" << 0x0100 << Verdict::NoFile << Problem::None << "";
        QTest::newRow("missing file") << m_folder.filePath(QStringLiteral("absent.ml2")) << "DEMO-5" << 0x0100
                                      << Verdict::FileProblem << Problem::Missing << "";
        QTest::newRow("a folder") << m_folder.path() << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                  << Problem::Folder << "";

        MLU2FileWriter shortHeader = demoWriter();
        shortHeader.truncateTo(255);
        QTest::newRow("255 bytes") << m_folder.write(shortHeader) << "DEMO-5" << 0x0100
                                   << Verdict::FileProblem << Problem::TooShort << "";
        const struct
        {
            const char* name;
            int offset;
            uint8_t value;
            Problem problem;
        } headerRules[] = {
            {"signature", 3, '3', Problem::Signature},
            {"signature terminator", 4, 1, Problem::SignatureTerminator},
            {"no hardware version", MLU2FileWriter::kHardwareVersionCountOffset, 0,
             Problem::HardwareVersionCount},
            {"nine blocks", MLU2FileWriter::kBlockCountOffset, 9, Problem::BlockCount},
        };
        for (const auto& rule : headerRules) {
            MLU2FileWriter broken = demoWriter();
            broken.setHeaderByte(rule.offset, rule.value);
            QTest::newRow(rule.name) << m_folder.write(broken) << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                     << rule.problem << "";
        }

        MLU2FileWriter truncated = demoWriter();
        truncated.truncateTo(1280 + 300 + 10);
        const QString truncatedPath = m_folder.write(truncated);
        QTest::newRow("truncated block") << truncatedPath << "DEMO-5" << 0x0100 << Verdict::FileProblem
                                         << Problem::BlockOutsideFile << "DEMO-5";
        MLU2FileWriter emptyBlock = demoWriter();
        emptyBlock.setBlockLength(0, 0);
        QTest::newRow("empty block") << m_folder.write(emptyBlock) << "DEMO-5" << 0x0100
                                     << Verdict::FileProblem << Problem::EmptyBlock << "DEMO-5";

        QTest::newRow("other model") << m_folder.write(demoWriter("DEMO-6")) << "DEMO-5" << 0x0100
                                     << Verdict::OtherModel << Problem::None << "DEMO-6";
        QTest::newRow("model differs only in case")
            << m_folder.write(demoWriter("demo-5")) << "DEMO-5" << 0x0100 << Verdict::OtherModel
            << Problem::None << "demo-5";
        QTest::newRow("model is a prefix") << m_folder.write(demoWriter("DEMO")) << "DEMO-5" << 0x0100
                                           << Verdict::OtherModel << Problem::None << "DEMO";
        QTest::newRow("other model before version")
            << m_folder.write(demoWriter("DEMO-6")) << "DEMO-5" << 0x0200 << Verdict::OtherModel
            << Problem::None << "DEMO-6";
        // What the file is for comes first; the missing block is still told.
        QTest::newRow("other model before truncated block")
            << truncatedPath << "DEMO-6" << 0x0100 << Verdict::OtherModel << Problem::BlockOutsideFile
            << "DEMO-5";
        QTest::newRow("hardware not listed")
            << demo << "DEMO-5" << 0x0101 << Verdict::HardwareNotListed << Problem::None << "DEMO-5";
    }

    // Every entry gives the same verdict: the path, the file the caller opened, and the file
    // alone (which leaves out the device).
    void verdictNamesTheFirstFailedRequirement()
    {
        QFETCH(QString, path);
        QFETCH(QString, deviceModel);
        QFETCH(int, deviceHwVersion);
        QFETCH(Verdict, kind);
        QFETCH(Problem, problem);
        QFETCH(QString, fileModel);
        const auto hwVersion = static_cast<uint16_t>(deviceHwVersion);

        const UpdateFileVerdict verdict = UpdateFileCheck::check(path, deviceModel, hwVersion);
        QCOMPARE(verdict.kind, kind);
        QCOMPARE(verdict.fits(), kind == Verdict::Fits);
        QCOMPARE(verdict.fileProblem.kind, problem);
        QCOMPARE(verdict.fileModel, fileModel);
        QCOMPARE(verdict.deviceModel, deviceModel);
        QCOMPARE(verdict.deviceHwVersion, hwVersion);
        const bool headerRead = !fileModel.isEmpty();
        QCOMPARE(verdict.fileFirmwareVersionText, headerRead ? QStringLiteral("1.07") : QString());
        QCOMPARE(verdict.fileHardwareVersions,
                 headerRead ? (QList<uint16_t>{0x0100, 0x0102}) : QList<uint16_t>());
        QCOMPARE(verdict.fileHardwareVersionsText, headerRead ? QStringLiteral("1.00,1.02") : QString());
        if (path.isEmpty()) {
            return;
        }

        MLU2File file(path);
        file.open();
        QCOMPARE(UpdateFileCheck::check(file, deviceModel, hwVersion).kind, kind);
        const UpdateFileVerdict alone = UpdateFileCheck::checkFile(file);
        QCOMPARE(alone.kind, problem == Problem::None ? Verdict::Fits : Verdict::FileProblem);
        QCOMPARE(alone.fileProblem.kind, problem);
        QCOMPARE(alone.fileModel, fileModel);
        QCOMPARE(alone.deviceModel, QString());
    }

    // The signature beside the file, made by the stock minisign, against the demo key built in
    // and the keys of an administrators' folder; a refused signature refuses the file, one
    // not from a trusted key only when unsigned files are not allowed.
    void signatureHoldsOnlyForTheSignedBytes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("strangerInFolder");
        QTest::addColumn<Signature>("signature");
        QTest::addColumn<Verdict>("kind");
        QTest::addColumn<QString>("keyId");
        QTest::addColumn<QString>("signedFor");

        const QString comment = QStringLiteral("model=DEMO-5 firmware=1.07");
        const QString demoId = MinisignSigner::keyId(Key::Demo);
        const QString strangerId = MinisignSigner::keyId(Key::Stranger);
        const auto signedFile = [&](const QString& trustedComment, Key key = Key::Demo, bool legacy = false) {
            const QString path = m_folder.write(demoWriter());
            MinisignSigner::sign(path, trustedComment, key, legacy);
            return path;
        };

        QTest::newRow("signed") << signedFile(comment) << false << Signature::Signed << Verdict::Fits
                                << demoId << "DEMO-5 1.07";
        QTest::newRow("signed, legacy") << signedFile(comment, Key::Demo, true) << false << Signature::Signed
                                        << Verdict::Fits << demoId << "DEMO-5 1.07";
        const QString unsignedFile = m_folder.write(demoWriter());
        MinisignSigner::removeSignature(unsignedFile);
        QTest::newRow("no signature")
            << unsignedFile << false << Signature::NoSignature << Verdict::Unsigned << ""
            << "";
        QTest::newRow("unknown key") << signedFile(comment, Key::Stranger) << false << Signature::UnknownKey
                                     << Verdict::Unsigned << strangerId << "";
        QTest::newRow("key added in the folder")
            << signedFile(comment, Key::Stranger) << true << Signature::Signed << Verdict::Fits << strangerId
            << "DEMO-5 1.07";

        const struct
        {
            const char* name;
            qint64 offset;
        } changedBytes[] = {
            {"header changed", MLU2FileWriter::kDeviceDataOffset},
            {"block changed", MLU2FileWriter::kFirstBlockOffset + 299},
            {"auxiliary section changed", 300},
        };
        for (const auto& changed : changedBytes) {
            const QString path = signedFile(comment);
            changeByte(path, changed.offset);
            QTest::newRow(changed.name)
                << path << false << Signature::FileChanged << Verdict::SignatureRefused << demoId << "";
        }
        const QString legacyChanged = signedFile(comment, Key::Demo, true);
        changeByte(legacyChanged, MLU2FileWriter::kFirstBlockOffset);
        QTest::newRow("block changed, legacy")
            << legacyChanged << false << Signature::FileChanged << Verdict::SignatureRefused << demoId << "";
        // Bytes 10 to 73 of the second line are the signature: its 40th character lies there.
        const QString signatureChanged = signedFile(comment);
        changeSignatureLine(signatureChanged, "\nRU", 40);
        QTest::newRow("signature changed") << signatureChanged << false << Signature::FileChanged
                                           << Verdict::SignatureRefused << demoId << "";
        const QString commentChanged = signedFile(comment);
        changeSignatureLine(commentChanged, "trusted comment: model=DEMO-", 28);
        QTest::newRow("trusted comment changed") << commentChanged << false << Signature::CommentChanged
                                                 << Verdict::SignatureRefused << demoId << "";
        QTest::newRow("signed for another model")
            << signedFile(QStringLiteral("model=DEMO-6 firmware=1.07")) << false << Signature::OtherFile
            << Verdict::SignatureRefused << demoId << "DEMO-6 1.07";
        QTest::newRow("signed for another version")
            << signedFile(QStringLiteral("model=DEMO-5 firmware=1.08")) << false << Signature::OtherFile
            << Verdict::SignatureRefused << demoId << "DEMO-5 1.08";
        QTest::newRow("comment names nothing")
            << signedFile(QStringLiteral("timestamp:1 file:x.ml2")) << false << Signature::OtherFile
            << Verdict::SignatureRefused << demoId << "";

        const QString garbage = m_folder.write(demoWriter());
        QFile garbageSignature(garbage + QStringLiteral(".minisig"));
        QVERIFY(garbageSignature.open(QIODevice::WriteOnly));
        garbageSignature.write(
            "untrusted comment: x\nnot base64\ntrusted comment: model=DEMO-5 firmware=1.07\nx\n");
        garbageSignature.close();
        QTest::newRow("malformed") << garbage << false << Signature::Malformed << Verdict::SignatureRefused
                                   << ""
                                   << "";
        const QString oversized = signedFile(comment);
        QVERIFY(QFile::resize(oversized + QStringLiteral(".minisig"), 16 * 1024 + 1));
        QTest::newRow("signature file too large")
            << oversized << false << Signature::Malformed << Verdict::SignatureRefused << ""
            << "";
    }

    void signatureHoldsOnlyForTheSignedBytes()
    {
        QFETCH(QString, path);
        QFETCH(bool, strangerInFolder);
        QFETCH(Signature, signature);
        QFETCH(Verdict, kind);
        QFETCH(QString, keyId);
        QFETCH(QString, signedFor);

        QTemporaryDir keysFolder;
        if (strangerInFolder) {
            QVERIFY(QFile::copy(MinisignSigner::publicKeyFile(Key::Stranger),
                                keysFolder.filePath("maker 2026.pub")));
        }
        const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(path, TrustedKeys(keysFolder.path()));
        QCOMPARE(verdict.signature.kind, signature);
        QCOMPARE(verdict.signature.refused(), kind == Verdict::SignatureRefused);
        QCOMPARE(verdict.kind,
                 signature == Signature::Signed || kind == Verdict::Unsigned ? Verdict::Fits : kind);
        QCOMPARE(UpdateFileCheck::refusingUnsigned(verdict).kind, kind);
        QCOMPARE(verdict.signature.keyId, keyId);
        const QString named =
            verdict.signature.signedModel.isEmpty()
                ? QString()
                : verdict.signature.signedModel + ' ' + verdict.signature.signedFirmwareVersion;
        QCOMPARE(named, signedFor);
        const QString keyName = !verdict.signature.trusted() ? QString()
                                : strangerInFolder           ? QStringLiteral("maker 2026")
                                                             : QStringLiteral("demo");
        QCOMPARE(verdict.signature.keyName, keyName);
        // Against the device, too: a refused signature stays refused for the model it names.
        QCOMPARE(UpdateFileCheck::check(verdict, "DEMO-5", 0x0100).kind, verdict.kind);
    }

    void unopenedFileIsAProblem()
    {
        MLU2File file(m_folder.write(demoWriter()));
        const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(file);
        QCOMPARE(verdict.kind, Verdict::FileProblem);
        QCOMPARE(verdict.fileProblem.kind, Problem::NotOpened);
    }

    // A file's version is plain numbers (1.12 is 0x010C), a device's BCD (1.12 is 0x0112); a
    // device version with a digit above 9 is no version at all and matches nothing.
    void deviceFirmwareIsComparedAsBcd_data()
    {
        QTest::addColumn<int>("fileVersion");
        QTest::addColumn<int>("deviceVersion");
        QTest::addColumn<marlune::FirmwareOrder>("order");
        using Order = marlune::FirmwareOrder;
        QTest::newRow("same") << 0x010C << 0x0112 << Order::Same;
        QTest::newRow("device minor older") << 0x010C << 0x0111 << Order::DeviceOlder;
        QTest::newRow("device major newer") << 0x010C << 0x0200 << Order::DeviceNewer;
        QTest::newRow("two-digit major") << 0x0A00 << 0x1000 << Order::Same;
        // Read as hexadecimal, 0x1A would be 1.26, or 26 minor as a plain byte: neither is meant.
        QTest::newRow("minor not BCD, file 1.26") << 0x011A << 0x011A << Order::DeviceNotBcd;
        QTest::newRow("minor not BCD, file 1.16") << 0x0110 << 0x011A << Order::DeviceNotBcd;
        QTest::newRow("major not BCD") << 0x0100 << 0x1A00 << Order::DeviceNotBcd;
        QTest::newRow("no answer") << 0x0100 << 0xFFFF << Order::DeviceNotBcd;
    }

    void deviceFirmwareIsComparedAsBcd()
    {
        QFETCH(int, fileVersion);
        QFETCH(int, deviceVersion);
        QFETCH(marlune::FirmwareOrder, order);
        QCOMPARE(marlune::compareFirmware(static_cast<uint16_t>(fileVersion),
                                          static_cast<uint16_t>(deviceVersion)),
                 order);
    }
};

QTEST_GUILESS_MAIN(TestUpdateFileCheck)
#include "tst_updatefilecheck.moc"
