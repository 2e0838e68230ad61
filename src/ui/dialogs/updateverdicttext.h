#pragma once

#include "updatefileverdict.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>

// The Update button's tool tip: what the update would write, or why it cannot, in the words
// both front ends share.
class UpdateVerdictText
{
    Q_DECLARE_TR_FUNCTIONS(UpdateVerdictText)

public:
    // deviceFwVersion is BCD, as the device reports it; noFileText says what is missing when
    // no file is chosen.
    static QString toolTip(const UpdateFileVerdict& verdict, uint16_t deviceFwVersion,
                           const QString& noFileText);
};
