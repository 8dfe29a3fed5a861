#pragma once

// Registers, under the names the station uses in queued signals and in calls
// of slots by name, the types that cross threads: "int32_t", "uint32_t*",
// "TouchData", "QList<uint32_t>", "QList<QString>", "QMap<QString, QString>",
// "QMap<QString, QList<QString>>", "QList<QPair<QString, QString>>" and
// eWorkType, and the dispatcher's QPointer<QObject>. Safe to call more than
// once.
void RegisterStationMetaTypes();
