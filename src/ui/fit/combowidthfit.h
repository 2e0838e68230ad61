#pragma once

#include <QObject>

class QComboBox;

// Keeps a combo box at least as wide as its longest entry, so that the window around it
// grows instead of cutting a unit's serial number off. It never gets narrower than the
// width its form gave it.
class ComboWidthFit : public QObject
{
public:
    // Follows the entries of `list` and lives as its child. The list must show its
    // entries whole (QComboBox::AdjustToContents).
    explicit ComboWidthFit(QComboBox* list);

private:
    void fit();

    QComboBox* m_list;
    int m_formWidth;
};
