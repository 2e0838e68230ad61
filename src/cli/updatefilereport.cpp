#include "updatefilereport.h"

#include "mlu2file.h"
#include "updatefilecheck.h"
#include "updatetext.h"

#include <QFileInfo>
#include <QJsonArray>

UpdateFileReport UpdateFileReport::inspect(const QString& path)
{
    UpdateFileReport report;
    report.m_path = path;
    report.m_fileBytes = QFileInfo(path).size();

    MLU2File file(path);
    if (!file.open()) {
        report.m_problem = UpdateText::fileProblem(file.problem());
        return report;
    }
    report.m_readable = true;
    report.m_model = file.modelName();
    report.m_firmwareVersion = file.firmwareVersionText();
    if (!file.compatibleHardwareVersions().isEmpty()) {
        report.m_hardwareVersions = file.compatibleHardwareVersionsText().split(QLatin1Char(','));
    }
    report.m_updateBytes = file.totalSize();

    for (int index = 0; index < file.blockCount(); ++index) {
        const MLU2Block held = file.block(index);
        Block block;
        block.index = index;
        block.offset = file.blockOffset(index);
        block.length = held.length;
        block.available = held.data != nullptr;
        report.m_blocks.append(block);
    }
    report.m_problem = UpdateText::fileProblem(file.problem());
    const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(file);
    report.m_signatureKind = verdict.signature.kind;
    report.m_signature = UpdateText::signature(verdict.signature);
    report.m_keyName = verdict.signature.keyName;
    report.m_keyId = verdict.signature.keyId;
    if (report.m_problem.isEmpty() && verdict.signature.refused()) {
        report.m_problem = report.m_signature;
    }
    file.close();
    return report;
}

QJsonObject UpdateFileReport::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), m_path);
    object.insert(QStringLiteral("usable"), isUsable());
    if (!m_problem.isEmpty()) {
        object.insert(QStringLiteral("problem"), m_problem);
    }
    if (!m_readable) {
        return object;
    }
    object.insert(QStringLiteral("model"), m_model);
    object.insert(QStringLiteral("firmwareVersion"), m_firmwareVersion);
    object.insert(QStringLiteral("hardwareVersions"), QJsonArray::fromStringList(m_hardwareVersions));
    QJsonArray blocks;
    bool allAvailable = true;
    for (const Block& block : m_blocks) {
        QJsonObject entry;
        entry.insert(QStringLiteral("index"), block.index);
        entry.insert(QStringLiteral("offset"), block.offset);
        entry.insert(QStringLiteral("length"), static_cast<qint64>(block.length));
        entry.insert(QStringLiteral("available"), block.available);
        blocks.append(entry);
        allAvailable = allAvailable && block.available;
    }
    object.insert(QStringLiteral("blocks"), blocks);
    object.insert(QStringLiteral("allBlocksAvailable"), allAvailable);
    object.insert(QStringLiteral("updateBytes"), m_updateBytes);
    object.insert(QStringLiteral("fileBytes"), m_fileBytes);
    QJsonObject signature;
    signature.insert(QStringLiteral("trusted"), m_signatureKind == UpdateFileSignatureVerdict::Kind::Signed);
    signature.insert(QStringLiteral("text"), m_signature);
    signature.insert(QStringLiteral("signedBy"), m_keyName.isEmpty() ? QJsonValue() : QJsonValue(m_keyName));
    signature.insert(QStringLiteral("keyId"), m_keyId);
    object.insert(QStringLiteral("signature"), signature);
    return object;
}

QStringList UpdateFileReport::toText() const
{
    QStringList lines;
    lines << m_path;
    if (!m_readable) {
        lines << QStringLiteral("  Unusable: %1.").arg(m_problem);
        return lines;
    }
    lines << QStringLiteral("  Model:             %1").arg(m_model);
    lines << QStringLiteral("  Firmware version:  %1").arg(m_firmwareVersion);
    lines << QStringLiteral("  Hardware versions: %1").arg(m_hardwareVersions.join(QStringLiteral(", ")));
    for (const Block& block : m_blocks) {
        lines << QStringLiteral("  Block %1:           %2 bytes from offset %3%4")
                     .arg(block.index)
                     .arg(block.length)
                     .arg(block.offset)
                     .arg(block.available ? QString() : QStringLiteral(", missing"));
    }
    lines << QStringLiteral("  Update sends:      %1 bytes (header and blocks)").arg(m_updateBytes);
    lines << QStringLiteral("  Signature:         %1").arg(m_signature);
    lines << (isUsable() ? QStringLiteral("  Every block is available.")
                         : QStringLiteral("  Unusable: %1.").arg(m_problem));
    return lines;
}
