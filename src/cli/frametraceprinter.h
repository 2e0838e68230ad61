#pragma once

#include "mlpframetrace.h"

#include <QObject>
#include <QString>
#include <QTextStream>

// The --verbose trace: one line per exchange with a device (frame type, command, value,
// payload length, how the answer was judged, time). The connection reports on the worker
// thread; each line is handed to the thread this printer lives on and written there, so the
// trace and everything else the tool writes never share a stream across threads.
class FrameTracePrinter : public QObject
{
    Q_OBJECT

public:
    explicit FrameTracePrinter(QTextStream& out, QObject* parent = nullptr);

    // An MLPFrameTraceFunction; context is the printer.
    static void trace(void* context, const MLPFrameTrace& trace);
    static QString line(const MLPFrameTrace& trace);

    // Writes the lines handed over but not written yet; call once the worker thread has ended.
    void flush();

private:
    Q_INVOKABLE void print(const QString& line);

    QTextStream& m_out;
};
