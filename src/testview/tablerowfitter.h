#pragma once

#include <QObject>
#include <QTimer>
#include <QVector>

class QTableView;

// Fits a two-column table of the test view's side column to its size: the
// first column a third of the table's width, the second the rest; each row
// as tall as its wrapped texts at those widths (as its cells' delegate asks,
// see CWrappingItemDelegate::RowHeight), and the rows from a given one on
// sharing the height the rows above them leave, as stretched rows do, while
// each one's text fits its share; otherwise the table scrolls.
//
// A table can hold thousands of rows (a frame whose every LED fails), and
// measuring a wrapped text is slow: a row's height is measured once for its
// texts and the columns' widths, and kept until the model changes that row
// or the widths change. The rows in sight (and the next few hundred) are
// measured at once; the others a slice at a time while the event loop turns,
// each row standing meanwhile at the height of a row measured before it. A
// row scrolled into sight before its slice came is measured then. So no
// fit holds the GUI thread for long, and every row ends as tall as its texts.
//
// The fitter is a child of its table. Spans are read as the rows are
// measured: a span set or cleared goes with a change of the rows' contents.
class CTableRowFitter : public QObject
{
    Q_OBJECT

public:
    explicit CTableRowFitter(QTableView* pTable);

    // The fitter of pTable, null when it has none.
    static CTableRowFitter* Of(const QTableView* pTable);

    // The columns set to the table's width now and the rows to their texts,
    // the rows from nFirstStretched on stretched while their texts fit. A
    // table of other than two columns is left as it is.
    void Fit(int nFirstStretched);

    // True while rows of the last fit are still to be measured.
    bool IsMeasuring() const;

private:
    void Forget();
    void ForgetRows(int nFirst, int nLast);
    // The height row nRow's texts take at the columns' widths (measured
    // now where it is not known).
    int Measured(int nRow);
    // The rows from the top one in sight down to the viewport's bottom,
    // measured now and set to their heights.
    void MeasureInSight();
    // Stale rows measured for a few milliseconds, then the event loop again.
    void MeasureSlice();
    void SetHeight(int nRow, int nHeight);
    // The height a row stands at until it is measured.
    int Guess(int nRow) const;

    QTableView* m_pTable;
    QTimer m_slice;
    // Heights measured at m_nWidth0 + m_nWidth1, -1 where unknown.
    QVector<int> m_heights;
    int m_nStale = 0;
    int m_nWidth0 = -1;
    int m_nWidth1 = -1;
    // The last fit: its stretched rows share their heights, or each row
    // stands at its own height (and the slices measure the rest).
    bool m_bShared = false;
    bool m_bFitted = false;
    int m_nFirstStretched = 0;
    int m_nViewportHeight = -1;
    // Where the next slice looks for a stale row.
    int m_nNextStale = 0;
};
