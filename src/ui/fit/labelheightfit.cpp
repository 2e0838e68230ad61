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
    QWidget* window = m_label->window();
    // A window at its smallest height follows the text; one the person made taller stays so.
    const bool smallest = window->height() <= window->minimumHeight();
    fitLabel();
    const int labelHeight = m_label->isVisible() ? m_label->minimumHeight() : kHidden;
    // Progress reports change the text many times a second and mostly leave its height.
    if (labelHeight == m_fittedLabelHeight || !window->isVisible() || !window->layout()) {
        return;
    }
    m_fittedLabelHeight = labelHeight;
    if (!smallest) {
        return;
    }
    // The window's minimum follows its layout only once the layout has been brought up to date.
    window->layout()->activate();
    if (window->height() > window->minimumHeight()) {
        window->resize(window->width(), window->minimumHeight());
    }
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
