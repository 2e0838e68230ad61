#include "statusline.h"

#include "labelheightfit.h"

#include <QLabel>
#include <QProgressBar>
#include <QStringList>

StatusLine::StatusLine(QLabel* label, QProgressBar* progressBar)
    : m_label(label), m_progressBar(progressBar), m_fit(new LabelHeightFit(label))
{
    // The bar comes and goes with each update; its place stays, so nothing below it moves.
    QSizePolicy policy = m_progressBar->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_progressBar->setSizePolicy(policy);
    m_progressBar->hide();
}

void StatusLine::startWriting(const QString& writing)
{
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_deviceState.clear();
    setOutcome(m_writingProgress.start(writing));
}

void StatusLine::progressed(int percent)
{
    m_progressBar->setValue(percent);
    setOutcome(m_writingProgress.progressed(percent));
}

bool StatusLine::isWriting() const
{
    return !m_progressBar->isHidden();
}

void StatusLine::endWriting(const QString& outcome)
{
    m_progressBar->hide();
    setOutcome(outcome);
}

void StatusLine::setOutcome(const QString& text)
{
    m_outcome = text;
    show();
}

void StatusLine::addToOutcome(const QString& sentence)
{
    setOutcome(m_outcome + QLatin1Char(' ') + sentence);
}

void StatusLine::setDeviceState(const QString& text)
{
    m_deviceState = text;
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
    m_label->setText(parts.join(QLatin1Char('\n')));
    m_label->setVisible(!parts.isEmpty());
    m_fit->fit();
}
