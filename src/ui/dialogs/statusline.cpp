#include "statusline.h"

#include "labelheightfit.h"

#include <QLabel>
#include <QStringList>

StatusLine::StatusLine(QLabel* label) : m_label(label), m_fit(new LabelHeightFit(label)) {}

void StatusLine::setOutcome(const QString& text)
{
    m_outcome = text;
    show();
}

void StatusLine::setDeviceState(const QString& text)
{
    m_deviceState = text;
    show();
}

void StatusLine::setNoBuiltInFilesNote(bool shown)
{
    m_noBuiltInFilesNote = shown;
    show();
}

void StatusLine::show()
{
    QStringList parts;
    for (const QString& part : {m_outcome, m_deviceState}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    if (m_noBuiltInFilesNote) {
        parts << tr("No built-in update files are installed; load an update file through the link above.");
    }
    m_label->setText(parts.join(QLatin1Char('\n')));
    m_label->setVisible(!parts.isEmpty());
    m_fit->fit();
}
