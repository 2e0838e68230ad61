#include "rigstartquestion.h"

#include "rigruntext.h"

#include <QAbstractButton>
#include <QMessageBox>

bool RigStartQuestion::ask(QWidget* dialog, const QString& files, bool unsignedFiles)
{
    QMessageBox box(unsignedFiles ? QMessageBox::Warning : QMessageBox::Question, dialog->windowTitle(),
                    files, QMessageBox::Yes | QMessageBox::Cancel, dialog);
    box.setInformativeText(RigRunText::startQuestion(unsignedFiles));
    box.button(QMessageBox::Yes)->setText(tr("Start"));
    if (unsignedFiles) {
        box.setDefaultButton(QMessageBox::Cancel);
    }
    return box.exec() == QMessageBox::Yes;
}
