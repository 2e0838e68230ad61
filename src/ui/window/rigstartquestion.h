#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;

// The question before a rig's run starts: which files go to how many units, to keep every
// unit connected, and, where a file no trusted key signed is among them, a warning with Cancel
// as the default. Asked once per Start or Continue.
class RigStartQuestion
{
    Q_DECLARE_TR_FUNCTIONS(RigStartQuestion)

public:
    static bool ask(QWidget* dialog, const QString& files, bool unsignedFiles);
};
