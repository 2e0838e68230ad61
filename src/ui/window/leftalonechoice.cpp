#include "leftalonechoice.h"

#include <QBoxLayout>
#include <QCheckBox>

LeftAloneChoice::LeftAloneChoice(QWidget& parent, QBoxLayout& layout, int index,
                                 const QStringList& sameVersions, bool newer)
    : QObject(&parent)
{
    if (newer) {
        m_newerFirmware = new QCheckBox(tr("Also units with a newer firmware (a step back)"), &parent);
        m_newerFirmware->setObjectName(QStringLiteral("chk_alsoNewerFirmware"));
        layout.insertWidget(index, m_newerFirmware);
        connect(m_newerFirmware, &QCheckBox::toggled, this, &LeftAloneChoice::changed);
    }
    if (!sameVersions.isEmpty()) {
        m_sameFirmware =
            new QCheckBox(sameVersions.size() == 1 ? tr("Also units already at %1").arg(sameVersions.first())
                                                   : tr("Also units already at their file's firmware"),
                          &parent);
        m_sameFirmware->setObjectName(QStringLiteral("chk_alsoSameFirmware"));
        layout.insertWidget(index, m_sameFirmware);
        connect(m_sameFirmware, &QCheckBox::toggled, this, &LeftAloneChoice::changed);
    }
}

bool LeftAloneChoice::alsoSameFirmware() const
{
    return m_sameFirmware && m_sameFirmware->isChecked();
}

bool LeftAloneChoice::alsoNewerFirmware() const
{
    return m_newerFirmware && m_newerFirmware->isChecked();
}

MLPUpdateFirmwareRequest::LeaveAlone LeftAloneChoice::leaveAlone() const
{
    return {!alsoSameFirmware(), !alsoNewerFirmware()};
}

void LeftAloneChoice::fix()
{
    for (QCheckBox* box : {m_sameFirmware, m_newerFirmware}) {
        if (box) {
            box->setEnabled(false);
        }
    }
}
