#include "tablerowfitter.h"

#include "wrappingitemdelegate.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace {
// Rows measured at once beyond those in sight: a table of a few hundred rows
// is whole after one fit (a few milliseconds).
constexpr int kRowsAtOnce = 200;
// The GUI thread's time a slice of measuring takes at most, in ms.
constexpr qint64 kSliceMs = 5;
} // namespace

CTableRowFitter::CTableRowFitter(QTableView* pTable) : QObject(pTable), m_pTable(pTable)
{
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &CTableRowFitter::MeasureSlice);
    connect(pTable->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_bFitted && !m_bShared && m_nStale > 0)
            MeasureInSight();
    });
    // What the model changes is measured again at the next fit.
    if (QAbstractItemModel* pModel = pTable->model()) {
        connect(pModel, &QAbstractItemModel::modelReset, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::layoutChanged, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::rowsInserted, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::rowsRemoved, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::rowsMoved, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::columnsInserted, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::columnsRemoved, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::columnsMoved, this, &CTableRowFitter::Forget);
        connect(pModel, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    ForgetRows(topLeft.row(), bottomRight.row());
                });
    }
}

CTableRowFitter* CTableRowFitter::Of(const QTableView* pTable)
{
    return pTable ? pTable->findChild<CTableRowFitter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool CTableRowFitter::IsMeasuring() const
{
    return m_slice.isActive();
}

void CTableRowFitter::Forget()
{
    m_slice.stop();
    m_heights.clear();
    m_nStale = 0;
    m_nNextStale = 0;
    m_bFitted = false;
}

void CTableRowFitter::ForgetRows(int nFirst, int nLast)
{
    m_slice.stop();
    m_bFitted = false;
    nFirst = qMax(0, nFirst);
    nLast = qMin(nLast, m_heights.size() - 1);
    for (int r = nFirst; r <= nLast; ++r) {
        if (m_heights[r] >= 0) {
            m_heights[r] = -1;
            ++m_nStale;
        }
    }
    m_nNextStale = qMin(m_nNextStale, nFirst);
}

int CTableRowFitter::Measured(int nRow)
{
    int& nHeight = m_heights[nRow];
    if (nHeight < 0) {
        // As the header makes it: no section is lower than its least size.
        nHeight = qMax(CWrappingItemDelegate::RowHeight(m_pTable, nRow),
                       qMax(1, m_pTable->verticalHeader()->minimumSectionSize()));
        --m_nStale;
    }
    return nHeight;
}

void CTableRowFitter::SetHeight(int nRow, int nHeight)
{
    QHeaderView* pRows = m_pTable->verticalHeader();
    if (pRows->sectionSize(nRow) != nHeight)
        pRows->resizeSection(nRow, nHeight);
}

int CTableRowFitter::Guess(int nRow) const
{
    // The stretched rows are alike (the LED rows): the first of them stands
    // for the others; a row above them is always measured.
    const int nFirst = qBound(0, m_nFirstStretched, m_heights.size() - 1);
    return m_heights[nRow] >= 0 ? m_heights[nRow] : qMax(1, m_heights[nFirst]);
}

void CTableRowFitter::Fit(int nFirstStretched)
{
    QTableView* pTable = m_pTable;
    QAbstractItemModel* pModel = pTable->model();
    if (!pModel || pModel->columnCount(pTable->rootIndex()) != 2) {
        m_slice.stop();
        return;
    }
    // Set here, at once, rather than left to the headers' own later layout:
    // the heights below are measured at these widths. The second column is
    // the rest of the width (as a stretched last section would be, but now).
    // No section minimum of the style's either: a third is a third, however
    // narrow the table.
    QHeaderView* pColumns = pTable->horizontalHeader();
    pColumns->setStretchLastSection(false);
    pColumns->setMinimumSectionSize(1);
    pTable->setColumnWidth(0, qMax(1, pTable->width() / 3));
    pTable->setColumnWidth(1, qMax(1, pTable->viewport()->width() - pTable->columnWidth(0)));
    if (pTable->columnWidth(0) != m_nWidth0 || pTable->columnWidth(1) != m_nWidth1) {
        m_nWidth0 = pTable->columnWidth(0);
        m_nWidth1 = pTable->columnWidth(1);
        Forget();
    }
    const int nRows = pModel->rowCount(pTable->rootIndex());
    if (m_heights.size() != nRows) {
        Forget();
        m_heights.fill(-1, nRows);
        m_nStale = nRows;
    }
    const int nViewportHeight = pTable->viewport()->height();
    // Nothing changed since the last fit: it holds (its slices go on).
    if (m_bFitted && nFirstStretched == m_nFirstStretched && nViewportHeight == m_nViewportHeight)
        return;
    m_slice.stop();
    m_nFirstStretched = nFirstStretched;
    m_nViewportHeight = nViewportHeight;

    // The rows from nFirstStretched on share the height the others leave
    // while each one's text fits its share: measured until one shows that
    // they cannot (with thousands of rows, the first one does).
    const int nFirst = qBound(0, nFirstStretched, nRows);
    int nLeft = nViewportHeight;
    for (int r = 0; r < nFirst; ++r)
        nLeft -= Measured(r);
    const int nStretched = nRows - nFirst;
    int nNeed = 0;
    m_bShared = nStretched > 0;
    for (int r = nFirst; m_bShared && r < nRows; ++r) {
        nNeed = qMax(nNeed, Measured(r));
        m_bShared = qint64(nNeed) * nStretched <= nLeft;
    }

    QHeaderView* pRows = pTable->verticalHeader();
    pRows->setSectionResizeMode(QHeaderView::Fixed);
    m_bFitted = true;
    if (m_bShared) {
        for (int r = 0; r < nFirst; ++r)
            SetHeight(r, m_heights[r]);
        for (int i = 0; i < nStretched; ++i)
            SetHeight(nFirst + i, nLeft / nStretched + (i < nLeft % nStretched ? 1 : 0));
        return;
    }
    // Each row as tall as its texts: the first few hundred measured now,
    // the others standing at a guess, then those in sight measured too, and
    // the rest later.
    for (int r = 0, nMeasured = 0; r < nRows && nMeasured < kRowsAtOnce && m_nStale > 0; ++r) {
        if (m_heights[r] < 0) {
            Measured(r);
            ++nMeasured;
        }
    }
    for (int r = 0; r < nRows; ++r)
        SetHeight(r, Guess(r));
    MeasureInSight();
    m_nNextStale = 0;
    if (m_nStale > 0)
        m_slice.start();
}

void CTableRowFitter::MeasureInSight()
{
    QHeaderView* pRows = m_pTable->verticalHeader();
    const int nRows = qMin(m_heights.size(), pRows->count());
    const int nTop = qMax(0, pRows->logicalIndexAt(0));
    const int nBottom = m_pTable->viewport()->height();
    for (int r = nTop, nY = pRows->sectionViewportPosition(nTop); r < nRows && nY < nBottom; ++r) {
        if (m_pTable->isRowHidden(r))
            continue;
        const int nHeight = Measured(r);
        SetHeight(r, nHeight);
        nY += nHeight;
    }
}

void CTableRowFitter::MeasureSlice()
{
    if (!m_bFitted || m_bShared)
        return;
    QElapsedTimer clock;
    clock.start();
    const int nRows = m_heights.size();
    while (m_nStale > 0 && m_nNextStale < nRows && clock.elapsed() < kSliceMs) {
        if (m_heights[m_nNextStale] < 0)
            SetHeight(m_nNextStale, Measured(m_nNextStale));
        ++m_nNextStale;
    }
    if (m_nStale > 0 && m_nNextStale < nRows)
        m_slice.start();
}
