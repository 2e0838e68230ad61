#include "progressdisplay.h"

#include <QLocale>

#include <algorithm>

namespace {

constexpr int kFullPercent = 100;
constexpr qint64 kMsPerSecond = 1000;
constexpr qint64 kSecondsPerMinute = 60;
constexpr int kSizePrecision = 1;

QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, kSizePrecision, QLocale::DataSizeIecFormat);
}

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / kSecondsPerMinute)
        .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressDisplay::ProgressDisplay(QTextStream& out, bool terminal, qint64 totalBytes)
    : m_out(out), m_terminal(terminal), m_totalBytes(totalBytes)
{}

void ProgressDisplay::start()
{
    m_clock.start();
    show(0);
}

void ProgressDisplay::show(int percent)
{
    if (m_terminal) {
        const QString line = barLine(percent, m_totalBytes, m_clock.elapsed());
        // Spaces wipe what a longer earlier line left behind.
        m_out << '\r' << line << QString(std::max(0, m_lastLineLength - int(line.size())), QLatin1Char(' '));
        m_lastLineLength = int(line.size());
        m_out.flush();
        return;
    }
    if (percent != m_lastPercent) {
        m_out << plainLine(percent) << '\n';
        m_out.flush();
        m_lastPercent = percent;
    }
}

void ProgressDisplay::finish()
{
    if (m_terminal && m_lastLineLength > 0) {
        m_out << '\n';
        m_out.flush();
    }
}

QString ProgressDisplay::barLine(int percent, qint64 totalBytes, qint64 elapsedMs)
{
    const int clamped = std::clamp(percent, 0, kFullPercent);
    const int filled = clamped * kBarWidth / kFullPercent;
    const qint64 sentBytes = totalBytes * clamped / kFullPercent;

    QString rate = QStringLiteral("--");
    QString timeLeft = QStringLiteral("--:--");
    if (elapsedMs > 0 && sentBytes > 0) {
        const qint64 bytesPerSecond = sentBytes * kMsPerSecond / elapsedMs;
        rate = dataSize(bytesPerSecond) + QStringLiteral("/s");
        if (bytesPerSecond > 0) {
            timeLeft = minutesAndSeconds((totalBytes - sentBytes + bytesPerSecond - 1) / bytesPerSecond);
        }
    }
    return QStringLiteral("[%1%2] %3%  %4 / %5  %6  %7 left")
        .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
        .arg(clamped, 3)
        .arg(dataSize(sentBytes), dataSize(totalBytes), rate, timeLeft);
}

QString ProgressDisplay::plainLine(int percent)
{
    return QStringLiteral("%1%").arg(std::clamp(percent, 0, kFullPercent));
}
