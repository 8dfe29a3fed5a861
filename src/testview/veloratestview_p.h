#pragma once

// Helpers the files of VeloraTestView share.

#include "customersettings.h"

#include <QString>
#include <QTableWidgetItem>

namespace VeloraTestViewPrivate {

inline CCustomerSettings* Settings()
{
    return CCustomerSettings::GetInstance();
}

inline QTableWidgetItem* TableItem(const QString& text)
{
    auto* pItem = new QTableWidgetItem(text);
    pItem->setFlags(pItem->flags() & ~Qt::ItemIsEditable);
    return pItem;
}

} // namespace VeloraTestViewPrivate
