// The side column's row fitter on a table of its own: the columns a third
// and the rest, every row as tall as its wrapped texts (those in sight at
// once, a table of thousands of LED rows the rest while the event loop
// turns, a row scrolled into sight before then at once), stretched rows
// sharing the height left while their texts fit it, and a row whose text
// changes measured again.

#include "tablerowfitter.h"
#include "testenvironment.h"
#include "waitfor.h"
#include "wrappingitemdelegate.h"

#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QtTest>

namespace {

// A result table as the test view builds it: an overall line spanning both
// columns, then nLeds light paths with their readings, some long enough to
// wrap at the narrow second column.
void FillLeds(QTableWidget& table, int nLeds)
{
    table.clear();
    table.clearSpans();
    table.setRowCount(0);
    table.setColumnCount(2);
    table.setRowCount(1 + nLeds);
    table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("NG")));
    table.setSpan(0, 0, 1, 2);
    for (int i = 0; i < nLeds; ++i) {
        table.setItem(1 + i, 0, new QTableWidgetItem(QStringLiteral("X-T0:[T1:%1-R1:%2]").arg(i).arg(i + 3)));
        const QString value = i % 3 ? QStringLiteral("ADC %1 < 120").arg(i)
                                    : QStringLiteral("ADC %1 below its lower limit 120 of the window, its partner receiver reading nothing").arg(i);
        table.setItem(1 + i, 1, new QTableWidgetItem(value));
    }
}

// The height row r's texts ask at the columns' widths now, as the header
// makes it (no row is lower than its least section).
int Asks(const QTableWidget& table, int r)
{
    return qMax(CWrappingItemDelegate::RowHeight(&table, r), table.verticalHeader()->minimumSectionSize());
}

// The rows of table whose height is not what their texts ask ("row 12:
// 25 px, asks 38"); from nFirst to nLast.
QStringList WrongRows(const QTableWidget& table, int nFirst, int nLast)
{
    QStringList wrong;
    for (int r = nFirst; r <= nLast; ++r) {
        const int nAsk = Asks(table, r);
        if (table.rowHeight(r) != nAsk)
            wrong << QStringLiteral("row %1: %2 px, asks %3").arg(r).arg(table.rowHeight(r)).arg(nAsk);
    }
    return wrong;
}

// The rows in sight now, first and last.
QPair<int, int> RowsInSight(const QTableWidget& table)
{
    const QHeaderView* pRows = table.verticalHeader();
    const int nFirst = qMax(0, pRows->logicalIndexAt(0));
    int nLast = pRows->logicalIndexAt(table.viewport()->height() - 1);
    if (nLast < 0)
        nLast = table.rowCount() - 1;
    return qMakePair(nFirst, nLast);
}

// The table, its fitter, and a fit again whenever its viewport is resized
// (a scroll bar shown or hidden), as the test view does.
struct SFixture : QObject
{
    QTableWidget table;
    CTableRowFitter* pFitter;
    int nFirstStretched = 1;

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pWatched == table.viewport() && pEvent->type() == QEvent::Resize)
            pFitter->Fit(nFirstStretched);
        return false;
    }

    SFixture()
    {
        table.setItemDelegate(new CWrappingItemDelegate(&table));
        table.setWordWrap(true);
        table.setTextElideMode(Qt::ElideNone);
        table.horizontalHeader()->hide();
        table.verticalHeader()->hide();
        pFitter = new CTableRowFitter(&table);
        table.viewport()->installEventFilter(this);
        table.resize(360, 400);
        table.show();
    }
    // Before the table goes: its last events are its own.
    ~SFixture() override { table.viewport()->removeEventFilter(this); }
};

} // namespace

class TestTableRowFitter : public QObject
{
    Q_OBJECT

private slots:
    void thousandsOfRowsFitInSightAtOnceAndWholeLater();
    void stretchedRowsShareTheHeightLeft();
    void changedTextsAndWidthsAreMeasuredAgain();
};

// Every LED of the largest frame failing: the rows in sight are right at
// once, the others follow while the event loop turns, and a row scrolled to
// before then is right as soon as it is in sight. At the end every row is
// as tall as its texts ask, as if all had been measured at once.
void TestTableRowFitter::thousandsOfRowsFitInSightAtOnceAndWholeLater()
{
    SFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.table));
    QCOMPARE(CTableRowFitter::Of(&f.table), f.pFitter);
    FillLeds(f.table, 4000);
    f.pFitter->Fit(1);

    QCOMPARE(f.table.columnWidth(0), f.table.width() / 3);
    QCOMPARE(f.table.columnWidth(0) + f.table.columnWidth(1), f.table.viewport()->width());
    // Not all at once: the GUI thread is back in its event loop long before
    // 4,000 rows are measured.
    QVERIFY(f.pFitter->IsMeasuring());
    QPair<int, int> sight = RowsInSight(f.table);
    QCOMPARE(sight.first, 0);
    QVERIFY(sight.second > 5);
    QStringList wrong = WrongRows(f.table, sight.first, sight.second);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));

    // The end of the table, before any slice came (the scroll range laid
    // out now, as the event loop would first).
    f.table.doItemsLayout();
    QVERIFY(f.pFitter->IsMeasuring());
    f.table.verticalScrollBar()->setValue(f.table.verticalScrollBar()->maximum());
    sight = RowsInSight(f.table);
    QVERIFY2(sight.first > 3000, qPrintable(QString::number(sight.first)));
    wrong = WrongRows(f.table, sight.first, sight.second);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));

    // Slow under the sanitizers and a loaded machine: waited for, not timed.
    QVERIFY(StationTest::WaitFor([&] { return !f.pFitter->IsMeasuring(); }, 120000));
    wrong = WrongRows(f.table, 0, f.table.rowCount() - 1);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join(QLatin1Char('\n'))));
    // The long readings wrap: their rows are taller than the short ones.
    QVERIFY(f.table.rowHeight(1) > f.table.rowHeight(2));
    // A fit with nothing changed leaves every row as it is, and measures
    // nothing again.
    f.pFitter->Fit(1);
    QVERIFY(!f.pFitter->IsMeasuring());
    QVERIFY(WrongRows(f.table, 0, f.table.rowCount() - 1).isEmpty());
    f.table.grab().save(QDir(CTestEnvironment::OutputDir()).filePath(QStringLiteral("tablerowfitter-4000-rows.png")));
}

// A few LED rows below a check row: they share what the check row leaves of
// the viewport while their texts fit their share, at once; a table with more
// of them than fit scrolls, each row at its own height.
void TestTableRowFitter::stretchedRowsShareTheHeightLeft()
{
    SFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.table));
    FillLeds(f.table, 4);
    f.pFitter->Fit(1);
    QVERIFY(!f.pFitter->IsMeasuring());
    QCOMPARE(f.table.rowHeight(0), Asks(f.table, 0));
    int nSum = 0;
    for (int r = 1; r < f.table.rowCount(); ++r) {
        QVERIFY(f.table.rowHeight(r) >= Asks(f.table, r));
        QVERIFY(qAbs(f.table.rowHeight(r) - f.table.rowHeight(1)) <= 1);
        nSum += f.table.rowHeight(r);
    }
    QCOMPARE(nSum, f.table.viewport()->height() - f.table.rowHeight(0));

    // Twenty rows do not fit 400 pixels with room for their texts.
    FillLeds(f.table, 20);
    f.pFitter->Fit(1);
    QVERIFY(StationTest::WaitFor([&] { return !f.pFitter->IsMeasuring(); }));
    const QStringList wrong = WrongRows(f.table, 0, f.table.rowCount() - 1);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    QVERIFY(f.table.verticalScrollBar()->maximum() > 0);
}

// A row whose text changes, and every row when the table is narrowed, are as
// tall as their texts ask at the next fit (as the test view's refresh and
// resize fit again).
void TestTableRowFitter::changedTextsAndWidthsAreMeasuredAgain()
{
    SFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.table));
    FillLeds(f.table, 300);
    f.pFitter->Fit(1);
    QVERIFY(StationTest::WaitFor([&] { return !f.pFitter->IsMeasuring(); }));
    const int nShort = f.table.rowHeight(2);
    f.table.item(2, 1)->setText(QStringLiteral("0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"));
    f.pFitter->Fit(1);
    QVERIFY(f.table.rowHeight(2) > nShort);
    QCOMPARE(f.table.rowHeight(2), Asks(f.table, 2));

    f.table.resize(180, 400);
    f.pFitter->Fit(1);
    QCOMPARE(f.table.columnWidth(0), 60);
    QVERIFY(StationTest::WaitFor([&] { return !f.pFitter->IsMeasuring(); }));
    const QStringList wrong = WrongRows(f.table, 0, f.table.rowCount() - 1);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

STATION_TEST_MAIN(TestTableRowFitter)
#include "tst_tablerowfitter.moc"
