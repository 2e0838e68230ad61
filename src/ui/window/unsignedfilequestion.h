#pragma once

#include "unitupdatefile.h"

#include <QCoreApplication>
#include <QSet>
#include <QString>

class QWidget;

// The question the window asks before it first writes a file that no trusted key signed:
// once per file, with No as the default. A file whose signature does not hold never gets
// this far: the check refuses it.
class UnsignedFileQuestion
{
    Q_DECLARE_TR_FUNCTIONS(UnsignedFileQuestion)

public:
    // Whether the target's file may be written: signed by a trusted key, allowed for this
    // file before, or the person answers Yes now.
    bool allows(QWidget* window, const UnitUpdateFile& target);

private:
    QSet<QString> m_allowedFiles;
};
