#include "updatehistory.h"

#include "userstatedirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kApplicationFolder = QStringLiteral("marlune-fwupdate");
const QString kFileName = QStringLiteral("history.jsonl");

const QString kTime = QStringLiteral("time");
const QString kModel = QStringLiteral("model");
const QString kLink = QStringLiteral("link");
const QString kSerial = QStringLiteral("serial");
const QString kAddress = QStringLiteral("address");
const QString kVersionBefore = QStringLiteral("versionBefore");
const QString kFile = QStringLiteral("file");
const QString kFileSha256 = QStringLiteral("fileSha256");
const QString kSignedBy = QStringLiteral("signedBy");
const QString kKeyId = QStringLiteral("keyId");
const QString kVersionWritten = QStringLiteral("versionWritten");
const QString kVerdict = QStringLiteral("verdict");
const QString kReason = QStringLiteral("reason");
const QString kVersionAfter = QStringLiteral("versionAfter");
const QString kSucceeded = QStringLiteral("succeeded");
const QString kFailed = QStringLiteral("failed");

// A file's path as the system writes it, backslashes on Windows: the history is read by
// people and by their scripts. Lines written with forward slashes read the same way.
QString systemPath(const QString& file)
{
    return QDir::isAbsolutePath(file) ? QDir::toNativeSeparators(file) : file;
}

QByteArray toLine(const UpdateHistoryEntry& entry)
{
    return QJsonDocument(UpdateHistory::toJson(entry)).toJson(QJsonDocument::Compact) + '\n';
}

bool fromLine(const QByteArray& line, UpdateHistoryEntry& entry)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        return false;
    }
    const QJsonObject object = document.object();
    const QString verdict = object.value(kVerdict).toString();
    entry.time = QDateTime::fromString(object.value(kTime).toString(), Qt::ISODateWithMs);
    if (!entry.time.isValid() || (verdict != kSucceeded && verdict != kFailed)) {
        return false;
    }
    entry.model = object.value(kModel).toString();
    entry.link = object.value(kLink).toString();
    entry.serial = object.value(kSerial).toString();
    entry.address = object.value(kAddress).toString();
    entry.versionBefore = object.value(kVersionBefore).toString();
    entry.file = systemPath(object.value(kFile).toString());
    entry.fileSha256 = object.value(kFileSha256).toString();
    entry.signedBy = object.value(kSignedBy).toString();
    entry.keyId = object.value(kKeyId).toString();
    entry.versionWritten = object.value(kVersionWritten).toString();
    entry.succeeded = verdict == kSucceeded;
    entry.reason = object.value(kReason).toString();
    entry.versionAfter = object.value(kVersionAfter).toString();
    return true;
}

} // namespace

QString UpdateHistory::defaultPath()
{
    return QDir(marlune::userStateDirectory()).filePath(kApplicationFolder + QLatin1Char('/') + kFileName);
}

QJsonObject UpdateHistory::toJson(const UpdateHistoryEntry& entry)
{
    QJsonObject object;
    object.insert(kTime, entry.time.toUTC().toString(Qt::ISODateWithMs));
    object.insert(kModel, entry.model);
    object.insert(kLink, entry.link);
    object.insert(kSerial, entry.serial);
    object.insert(kAddress, entry.address);
    object.insert(kVersionBefore, entry.versionBefore);
    object.insert(kFile, systemPath(entry.file));
    object.insert(kFileSha256, entry.fileSha256);
    // An unsigned file is recorded so: signedBy null.
    object.insert(kSignedBy, entry.isSigned() ? QJsonValue(entry.signedBy) : QJsonValue());
    object.insert(kKeyId, entry.keyId);
    object.insert(kVersionWritten, entry.versionWritten);
    object.insert(kVerdict, entry.succeeded ? kSucceeded : kFailed);
    object.insert(kReason, entry.reason);
    object.insert(kVersionAfter, entry.versionAfter);
    return object;
}

UpdateHistory::UpdateHistory(const QString& path) : m_path(QDir::toNativeSeparators(path)) {}

QString UpdateHistory::append(const UpdateHistoryEntry& entry) const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) {
            return QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        }
        // The history names the units of this user's bench; other users need not read it.
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QFile file(m_path);
    // Unbuffered, so each record goes out in one write at the end of the file even when
    // two programs append at once.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        return QStringLiteral("cannot open %1: %2").arg(m_path, file.errorString());
    }
    QByteArray line = toLine(entry);
    // A record cut short (a full disk, a crash) would swallow the next one into its line.
    if (file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n") {
        line.prepend('\n');
    }
    if (file.write(line) != line.size()) {
        return QStringLiteral("cannot write to %1: %2").arg(m_path, file.errorString());
    }
    return QString();
}

QList<UpdateHistoryEntry> UpdateHistory::read(QStringList& warnings) const
{
    QList<UpdateHistoryEntry> entries;
    QFile file(m_path);
    if (!file.exists()) {
        return entries;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        warnings << QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return entries;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty()) {
            continue;
        }
        UpdateHistoryEntry entry;
        if (fromLine(line, entry)) {
            entries.append(entry);
        } else {
            warnings
                << QStringLiteral("%1 line %2 is not an update record; skipped").arg(m_path).arg(lineNumber);
        }
    }
    return entries;
}
