#pragma once

#include "unitupdatefile.h"

#include <QCoreApplication>

class QAbstractButton;

// The window's two update buttons: Update Firmware for the chosen unit, with the shared check's
// verdict in its tool tip, and Update All, shown while it is worth offering.
class UpdateButtons
{
    Q_DECLARE_TR_FUNCTIONS(UpdateButtons)

public:
    UpdateButtons(QAbstractButton* update, QAbstractButton* updateAll);

    // Nothing to write: no unit is selected, or the window is busy, which the tool tip says.
    void disable(bool unitSelected);
    // The chosen unit's file: the button is usable exactly when the file fits.
    void offer(const UnitUpdateFile& target);
    // Update All is shown while offered, and usable while the window is not busy.
    void offerAll(bool offered, bool busy);

private:
    QAbstractButton* m_update;
    QAbstractButton* m_updateAll;
};
