#include "labelheightfit.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>

LabelHeightFit::LabelHeightFit(QLabel* label) : QObject(label), m_label(label)
{
    m_label->installEventFilter(this);
}

void LabelHeightFit::fit()
{
    fitLabel();
    QWidget* window = m_label->window();
    if (!window->isVisible() || !window->layout()) {
        return;
    }
    const bool heightLeftAsFitted = m_fittedWindowHeight < 0 || window->height() == m_fittedWindowHeight;
    // The window's minimum follows its layout only once the layout has been brought up to date.
    window->layout()->activate();
    if (heightLeftAsFitted && window->height() > window->minimumHeight()) {
        window->resize(window->width(), window->minimumHeight());
    }
    m_fittedWindowHeight = window->height();
}

void LabelHeightFit::fitLabel()
{
    if (!m_label->isVisible()) {
        return;
    }
    // A label never reports a height for its width below its minimum.
    m_label->setMinimumHeight(0);
    m_label->setMinimumHeight(m_label->text().isEmpty() ? 0 : m_label->heightForWidth(m_label->width()));
}

bool LabelHeightFit::eventFilter(QObject* watched, QEvent* event)
{
    // A narrower window needs more lines; its layout then grows the window to hold them.
    if (watched == m_label && (event->type() == QEvent::Show || event->type() == QEvent::Resize)) {
        fitLabel();
    }
    return QObject::eventFilter(watched, event);
}
