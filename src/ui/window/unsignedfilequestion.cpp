#include "unsignedfilequestion.h"

#include "deviceunittext.h"
#include "updatetext.h"

#include <QFileInfo>
#include <QMessageBox>

bool UnsignedFileQuestion::allows(QWidget* window, const UnitUpdateFile& target)
{
    if (target.verdict.signature.trusted() || m_allowedFiles.contains(target.filePath())) {
        return true;
    }
    QMessageBox box(
        QMessageBox::Warning, tr("Unsigned update file"),
        tr("%1 is %2.")
            .arg(QFileInfo(target.filePath()).fileName(), UpdateText::signature(target.verdict.signature)),
        QMessageBox::Yes | QMessageBox::No, window);
    box.setInformativeText(tr("Nothing shows that it is the file its maker released: a damaged download or a "
                              "changed copy can leave %1 unusable. Write it only if you trust where it came "
                              "from.\n\nWrite it anyway?")
                               .arg(DeviceUnitText::modelAndUnit(target.unit)));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) {
        return false;
    }
    m_allowedFiles.insert(target.filePath());
    return true;
}
