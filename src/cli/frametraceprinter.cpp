#include "frametraceprinter.h"

#include "devicetext.h"
#include "mlpframelayout.h"
#include "mlpframetype.h"

#include <QCoreApplication>

namespace {

QString frameTypeText(const uint8_t* frame, uint16_t length)
{
    if (!frame || length <= MLPFrameLayout::kTypeOffset) {
        return QStringLiteral("frame");
    }
    switch (static_cast<MLPFrameType>(frame[MLPFrameLayout::kTypeOffset])) {
    case MLPFrameType::Data:
        return QStringLiteral("Data");
    case MLPFrameType::Ack:
        return QStringLiteral("Ack");
    case MLPFrameType::Request:
        return QStringLiteral("Request");
    case MLPFrameType::Response:
        return QStringLiteral("Response");
    }
    return QStringLiteral("frame of type %1").arg(frame[MLPFrameLayout::kTypeOffset]);
}

} // namespace

FrameTracePrinter::FrameTracePrinter(QTextStream& out, QObject* parent) : QObject(parent), m_out(out) {}

void FrameTracePrinter::trace(void* context, const MLPFrameTrace& trace)
{
    auto* printer = static_cast<FrameTracePrinter*>(context);
    QMetaObject::invokeMethod(printer, "print", Qt::QueuedConnection, Q_ARG(QString, line(trace)));
}

QString FrameTracePrinter::line(const MLPFrameTrace& trace)
{
    const QString sent = QStringLiteral("sent %1 command %2 value %3, %4 payload bytes")
                             .arg(frameTypeText(trace.sentFrame, trace.sentLength))
                             .arg(trace.command)
                             .arg(trace.value)
                             .arg(trace.payloadLength);
    QString received;
    if (!trace.writeAccepted) {
        received = QStringLiteral("the link refused the frame");
    } else if (!trace.answer) {
        received = QStringLiteral("no answer");
    } else {
        received = QStringLiteral("received %1, %2 bytes")
                       .arg(frameTypeText(trace.answer, trace.answerLength))
                       .arg(trace.answerLength);
    }
    QString status = devicetext::statusKey(trace.status);
    if (trace.status == MLPStatus::DeviceError) {
        status += QStringLiteral(" 0x%1").arg(trace.errorCode, 2, 16, QLatin1Char('0'));
    }
    const QString unit = QString::fromUtf8(trace.unit);
    return QStringLiteral("trace: %1%2; %3; %4 after %5 ms")
        .arg(unit.isEmpty() ? QString() : unit + QStringLiteral(": "), sent, received, status)
        .arg(trace.elapsedMs);
}

void FrameTracePrinter::flush()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void FrameTracePrinter::print(const QString& line)
{
    m_out << line << '\n';
    m_out.flush();
}
