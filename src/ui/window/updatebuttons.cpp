#include "updatebuttons.h"

#include "updateverdicttext.h"

#include <QAbstractButton>

UpdateButtons::UpdateButtons(QAbstractButton* update, QAbstractButton* updateAll)
    : m_update(update), m_updateAll(updateAll)
{}

void UpdateButtons::disable(bool unitSelected)
{
    m_update->setEnabled(false);
    m_update->setToolTip(unitSelected ? tr("Wait until the running task has finished.") : QString());
}

void UpdateButtons::offer(const UnitUpdateFile& target)
{
    m_update->setEnabled(target.fits());
    m_update->setToolTip(target.fits() ? UpdateVerdictText::toolTip(target.verdict, target.unit.fwVersion, {})
                                       : target.reason);
}

void UpdateButtons::offerAll(bool offered, bool busy)
{
    m_updateAll->setVisible(offered);
    m_updateAll->setEnabled(offered && !busy);
}
