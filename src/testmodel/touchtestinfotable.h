#pragma once

#include <QMap>
#include <QString>

// The per-product parameter table: limits and switches that differ from one
// product to the next, read once per process from a CSV file
// "TouchTestInfo-V<4 hex digits>.csv" in the current working directory (the
// last one by name when several exist). The program never writes the file.
//
// A line is cut at every "," (no quoting, no trimming). Its first field picks
// the row: "********" adds to the defaults, "CheckSum:<text>" and
// "Product:<text>" name the row of a firmware checksum or a product. The
// other fields are "key:value" pairs. A product or checksum row holds the
// defaults that stand above it in the file plus its own pairs.
//
// Created and read on the worker thread; after construction it never changes
// and GetInfo hands out copies.
class CTouchTestInfoTable
{
public:
    using Row = QMap<QString, QString>;

    // The process-wide table, built from the file for strName on the first
    // call; later calls return the same table whatever name they pass.
    // Never returns null.
    static CTouchTestInfoTable *GetInstance(const QString &strName);

    // Builds a table from the newest file for strName in the working directory
    // (an empty table when there is none).
    explicit CTouchTestInfoTable(const QString &strName);
    // An empty table (no file read).
    CTouchTestInfoTable() = default;

    // The checksum row when there is one, else the product row, else the
    // defaults. Rows are never merged.
    Row GetInfo(const QString &strProduct, const QString &strCheckSum) const;

    // The key under which a device's product text is looked up: every
    // "-<digits>P" removed ("AB55-10P" gives "AB55").
    static QString ProductKey(const QString &strProduct);
    // The key under which a device's checksum is looked up: the checksum, or
    // its first piece when its first and last "-" pieces are equal.
    static QString CheckSumKey(const QString &strCheckSum);

    // Full path of the file to read for strName, or "" when none matches.
    static QString FindLatestFile(const QString &strName);
    // Reads every line of the file at strPath through ParseLine. A path that
    // cannot be opened (the empty path included) leaves the table unchanged.
    void Load(const QString &strPath);
    // Reads the content of a table file (strOrigin names it in the run log).
    void LoadData(const QByteArray &data, const QString &strOrigin);
    // Applies one line of the file.
    void ParseLine(const QString &strLine);

    const QMap<QString, Row> &ProductRows() const { return m_mapProduct; }
    const QMap<QString, Row> &CheckSumRows() const { return m_mapCheckSum; }
    const Row &DefaultRow() const { return m_mapDefault; }

    // Files larger than this are refused (a table is a few kilobytes).
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

private:
    QMap<QString, Row> m_mapProduct;
    QMap<QString, Row> m_mapCheckSum;
    Row m_mapDefault;
};
