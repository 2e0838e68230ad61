#include "combowidthfit.h"

#include <QAbstractItemModel>
#include <QComboBox>

#include <algorithm>

ComboWidthFit::ComboWidthFit(QComboBox* list) : QObject(list), m_list(list), m_formWidth(list->minimumWidth())
{
    const QAbstractItemModel* entries = m_list->model();
    connect(entries, &QAbstractItemModel::rowsInserted, this, &ComboWidthFit::fit);
    connect(entries, &QAbstractItemModel::rowsRemoved, this, &ComboWidthFit::fit);
    connect(entries, &QAbstractItemModel::dataChanged, this, &ComboWidthFit::fit);
    connect(entries, &QAbstractItemModel::modelReset, this, &ComboWidthFit::fit);
}

void ComboWidthFit::fit()
{
    // The layout takes an explicit minimum width over the size hint, so the minimum is moved.
    m_list->setMinimumWidth(std::max(m_formWidth, m_list->sizeHint().width()));
}
