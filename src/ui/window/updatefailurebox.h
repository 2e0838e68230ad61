#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;

// The box that tells the person an update failed and why. Beside OK it offers Retry when the
// same file can be written to the same unit again.
class UpdateFailureBox
{
    Q_DECLARE_TR_FUNCTIONS(UpdateFailureBox)

public:
    // Runs the box modally; true when the person chose Retry.
    static bool exec(QWidget* window, const QString& reason, bool offerRetry);
};
