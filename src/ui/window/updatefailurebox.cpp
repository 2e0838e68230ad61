#include "updatefailurebox.h"

#include <QMessageBox>

bool UpdateFailureBox::exec(QWidget* window, const QString& reason, bool offerRetry)
{
    QMessageBox box(QMessageBox::Warning, tr("Firmware update failed"),
                    tr("The firmware update could not be completed"), QMessageBox::Ok, window);
    if (offerRetry) {
        box.addButton(QMessageBox::Retry);
    }
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setInformativeText(reason);
    return box.exec() == QMessageBox::Retry;
}
