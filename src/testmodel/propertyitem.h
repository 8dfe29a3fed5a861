#pragma once

#include <QPair>
#include <QString>

// One entry of a device's information list: (key, value), for example
// ("Product", "AB55-10P"). The list keeps its order; look-ups take the first
// item with the exact key.
using CPropertyItem = QPair<QString, QString>;
