#include "labelheightfit.h"

#include <QEvent>
#include <QLabel>

LabelHeightFit::LabelHeightFit(QLabel* label) : QObject(label), m_label(label)
{
    m_label->installEventFilter(this);
}

void LabelHeightFit::fit()
{
    if (!m_label->isVisible()) {
        return;
    }
    const int needed = m_label->text().isEmpty() ? 0 : m_label->heightForWidth(m_label->width());
    if (needed != m_label->minimumHeight()) {
        m_label->setMinimumHeight(needed);
    }
}

bool LabelHeightFit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_label && (event->type() == QEvent::Show || event->type() == QEvent::Resize)) {
        fit();
    }
    return QObject::eventFilter(watched, event);
}
