#include "updatehistorycsv.h"

#include <QStringList>

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const QString kLineEnd = QStringLiteral("\r\n");

} // namespace

QByteArray UpdateHistoryCsv::document(const QList<UpdateHistoryEntry>& entries)
{
    QString text = QStringLiteral("time,model,link,serial,address,versionBefore,versionWritten,versionAfter,"
                                  "verdict,reason,file,fileSha256") +
                   kLineEnd;
    for (const UpdateHistoryEntry& entry : entries) {
        const QStringList fields{entry.time.toUTC().toString(Qt::ISODateWithMs),
                                 entry.model,
                                 entry.link,
                                 entry.serial,
                                 entry.address,
                                 entry.versionBefore,
                                 entry.versionWritten,
                                 entry.versionAfter,
                                 entry.succeeded ? QStringLiteral("succeeded") : QStringLiteral("failed"),
                                 entry.reason,
                                 entry.file,
                                 entry.fileSha256};
        QStringList quoted;
        for (const QString& value : fields) {
            quoted << field(value);
        }
        text += quoted.join(QLatin1Char(',')) + kLineEnd;
    }
    return QByteArray(kByteOrderMark) + text.toUtf8();
}

QString UpdateHistoryCsv::field(const QString& value)
{
    QString text = value;
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front())) {
        text.prepend(QLatin1Char('\''));
    }
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                             text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
                             (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!needsQuotes) {
        return text;
    }
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
