#include "touchsignalview.h"

#include "axissignalinfo.h"
#include "plotcurve.h"
#include "plotmarker.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPen>
#include <QThread>
#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_zoomer.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

namespace {

const Qt::GlobalColor kDirColours[5] = {Qt::darkYellow, Qt::green, Qt::blue, Qt::darkCyan, Qt::yellow};
const Qt::PenStyle kWindowStyles[5] = {Qt::DashLine, Qt::DashDotLine, Qt::DotLine, Qt::DashDotDotLine, Qt::SolidLine};
const QwtSymbol::Style kSymbolStyles[5] = {QwtSymbol::Ellipse, QwtSymbol::UTriangle, QwtSymbol::Rect,
                                           QwtSymbol::Diamond, QwtSymbol::Hexagon};
// Row: the kind's place among the shown kinds; column: the direction's place.
const char* const kShortcutRows[4] = {"1234567", "QWERTYU", "ASDFGHJ", "ZXCVBNM"};

QFont MarkerFont()
{
    QFont font(QStringLiteral("Helvetica"), 8);
    font.setBold(true);
    return font;
}

QwtText MarkerLabel(const QString& strText)
{
    QwtText label(strText);
    label.setFont(MarkerFont());
    label.setColor(Qt::black);
    return label;
}

// The x range of test window nWindow of an axis: window 0 from 0 to the first
// division, window i to division i, any later window from the last division
// to the end of the axis (every boundary half an LED past the division).
QPair<double, double> WindowXRange(double dStart, double dCount, const QList<uint32_t>& lstDivisions, int nWindow)
{
    const int n = lstDivisions.size();
    const double dEnd = dStart + dCount + 1;
    if (nWindow == 0)
        return qMakePair(0.0, n == 0 ? dEnd : dStart + lstDivisions.first() + 0.5);
    if (nWindow < n)
        return qMakePair(dStart + lstDivisions.at(nWindow - 1) + 0.5, dStart + lstDivisions.at(nWindow) + 0.5);
    return qMakePair(n == 0 ? 0.0 : dStart + lstDivisions.last() + 0.5, dEnd);
}

} // namespace

QAction* CTouchSignalView::ShowMarkAction()
{
    static QAction* pAction = [] {
        auto* pShared = new QAction(CTouchSignalView::tr("Show mark..."));
        pShared->setCheckable(true);
        pShared->setChecked(false);
        pShared->setShortcut(QKeySequence(Qt::Key_F6));
        return pShared;
    }();
    return pAction;
}

CTouchSignalView::CTouchSignalView(const CAxisSignalInfo* pAxis, QWidget* parent)
    : QwtPlot(parent),
      m_pAxis(pAxis)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setAutoReplot(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setLineWidth(1);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    canvas()->setStyleSheet(QStringLiteral(
        "border-style: solid;border-width: 1px;border-radius: 15px;border-color: #85BEE8;padding: 1px;"));
    plotLayout()->setAlignCanvasToScales(true);

    const double dStart = m_pAxis->GetSignalStart();
    setAxisScale(QwtPlot::xBottom, dStart, dStart + m_pAxis->GetMaxSignal() + 1);
    setAxisScale(QwtPlot::yLeft, 0, (double(m_pAxis->GetMaxValue()) + 1) * m_dScale);

    m_pGrid = new QwtPlotGrid;
    m_pGrid->setPen(QPen(Qt::gray, 0, Qt::DotLine));
    m_pGrid->attach(this);

    BuildDivisionMarkers();
    BuildWindowLines();
    BuildCurves();
    BuildLegend();

    updateAxes();
    m_pZoomer = new QwtPlotZoomer(canvas(), false);
    m_pZoomer->setMousePattern(QwtEventPattern::MouseSelect1, Qt::LeftButton, Qt::ControlModifier);
    m_pZoomer->setMousePattern(QwtEventPattern::MouseSelect2, Qt::RightButton, Qt::ControlModifier);
    m_pZoomer->setZoomBase(false);

    m_pMenu = new QMenu(this);
    m_pMenu->addAction(ShowMarkAction());
    addAction(ShowMarkAction());
    connect(ShowMarkAction(), &QAction::triggered, this,
            static_cast<void (CTouchSignalView::*)(bool)>(&CTouchSignalView::showMarkResponse));

    BuildActions();

    const bool bShowMark = ShowMarkAction()->isChecked();
    for (CPlotCurve* pCurve : qAsConst(m_mapCurves))
        pCurve->SetShowMark(bShowMark);
    replot();
}

CTouchSignalView::~CTouchSignalView()
{
    // Attached items go with the plot; the window lines that were never
    // attached (0 or beyond the axis's largest value) are deleted here.
    for (const auto& lstPairs : qAsConst(m_mapMarkers)) {
        for (const auto& pair : lstPairs) {
            if (!pair.first->plot())
                delete pair.first;
            if (!pair.second->plot())
                delete pair.second;
        }
    }
    delete m_pGrid;
}

void CTouchSignalView::BuildDivisionMarkers()
{
    const double dStart = m_pAxis->GetSignalStart();
    for (uint32_t nDivision : m_pAxis->GetDivide()) {
        const double x = dStart + nDivision + 0.5;
        auto* pMarker = new CPlotMarker;
        pMarker->setLineStyle(QwtPlotMarker::VLine);
        pMarker->setLinePen(QPen(Qt::blue, 0, Qt::DashDotLine));
        pMarker->setXValue(x);
        pMarker->setLabel(MarkerLabel(QString::number(x, 'g', 6)));
        pMarker->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
        pMarker->attach(this);
    }
}

void CTouchSignalView::BuildWindowLines()
{
    const double dStart = m_pAxis->GetSignalStart();
    const double dCount = m_pAxis->GetMaxSignal();
    const uint32_t nMaxValue = m_pAxis->GetMaxValue();
    const QList<uint32_t>& lstDivisions = m_pAxis->GetDivide();
    const QMap<QString, CDirSignalInfo>& mapDirs = m_pAxis->GetDirMap();
    int d = 0;
    for (auto dir = mapDirs.cbegin(); dir != mapDirs.cend(); ++dir, ++d) {
        const QColor colour(kDirColours[d % 5]);
        int t = 0;
        const QMap<QString, CSignalTypeInfo>& mapTypes = dir->GetTypeMap();
        for (auto type = mapTypes.cbegin(); type != mapTypes.cend(); ++type, ++t) {
            const QString strKey = dir.key() + QLatin1Char('_') + type.key();
            const QPen pen(colour, 0, kWindowStyles[t % 5]);
            const bool bPercent = type->GetStandardType() == QLatin1String("Percent");
            const QList<SignalRange>& lstWindows = type->GetTestStandards();
            QList<QPair<CPlotMarker*, CPlotMarker*>>& lstLines = m_mapMarkers[strKey];
            for (int i = 0; i < lstWindows.size(); ++i) {
                const QPair<double, double> range = WindowXRange(dStart, dCount, lstDivisions, i);
                const bool bLastOfRun = i + 1 >= lstWindows.size();
                CPlotMarker* pLines[2] = {nullptr, nullptr};
                for (int k = 0; k < 2; ++k) {
                    const uint32_t nValue = k == 0 ? lstWindows.at(i).lo : lstWindows.at(i).hi;
                    const uint32_t nNext = bLastOfRun ? 0 : (k == 0 ? lstWindows.at(i + 1).lo : lstWindows.at(i + 1).hi);
                    auto* pLine = new CPlotMarker(strKey);
                    pLine->setLineStyle(QwtPlotMarker::HLine);
                    pLine->setLinePen(pen);
                    pLine->setYValue(nValue * m_dScale);
                    pLine->SetXRange(range.first, range.second);
                    pLine->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
                    // Equal windows side by side carry one label, on the last.
                    if (bLastOfRun || nNext != nValue) {
                        pLine->setLabel(MarkerLabel(bPercent ? QString::number(nValue) + QLatin1Char('%')
                                                             : QString::number(nValue * m_dScale, 'g', 6)));
                    }
                    if (nValue != 0 && nValue < nMaxValue)
                        pLine->attach(this);
                    pLines[k] = pLine;
                }
                lstLines.append(qMakePair(pLines[0], pLines[1]));
            }
        }
    }
}

void CTouchSignalView::BuildCurves()
{
    const QList<uint32_t>& lstDivisions = m_pAxis->GetDivide();
    const QMap<QString, CDirSignalInfo>& mapDirs = m_pAxis->GetDirMap();
    int d = 0;
    for (auto dir = mapDirs.cbegin(); dir != mapDirs.cend(); ++dir, ++d) {
        const QColor colour(kDirColours[d % 5]);
        const QList<QString> lstShown = dir->GetShownTypes();
        for (int t = 0; t < lstShown.size(); ++t) {
            const CSignalTypeInfo* pType = dir->FindType(lstShown.at(t));
            if (!pType)
                continue;
            const QString strKey = dir.key() + QLatin1Char('_') + lstShown.at(t);
            auto* pCurve = new CPlotCurve(strKey);
            pCurve->setPen(QPen(colour, 0, Qt::SolidLine));
            pCurve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
            const QwtSymbol::Style style = kSymbolStyles[t % 5];
            pCurve->SetSymbols(new QwtSymbol(style, QBrush(colour), QPen(Qt::black), QSize(6, 6)),
                               new QwtSymbol(style, QBrush(Qt::red), QPen(Qt::red), QSize(6, 6)));
            pCurve->SetStandards(pType->GetTestStandards(), lstDivisions, int(m_dScale));
            pCurve->SetLabels(dir->GetSignalRelations());
            pCurve->setLegendAttribute(QwtPlotCurve::LegendShowSymbol, true);
            pCurve->attach(this);
            m_mapCurves.insert(strKey, pCurve);
        }
    }
}

void CTouchSignalView::BuildLegend()
{
    m_pLegend = new QwtLegend;
    m_pLegend->setDefaultItemMode(QwtLegendData::Checkable);
    insertLegend(m_pLegend, QwtPlot::RightLegend);
    for (auto it = m_mapCurves.cbegin(); it != m_mapCurves.cend(); ++it) {
        auto* pLabel = qobject_cast<QwtLegendLabel*>(m_pLegend->legendWidget(itemToInfo(it.value())));
        if (pLabel) {
            pLabel->setChecked(true);
            m_mapLegendLabels.insert(it.key(), pLabel);
        }
        it.value()->setVisible(true);
    }
    connect(m_pLegend, &QwtLegend::checked, this, &CTouchSignalView::showItem);
}

void CTouchSignalView::BuildActions()
{
    QMap<QString, int> mapDirPlace;
    int d = 0;
    for (auto dir = m_pAxis->GetDirMap().cbegin(); dir != m_pAxis->GetDirMap().cend(); ++dir, ++d)
        mapDirPlace.insert(dir.key(), d);

    for (auto it = m_mapCurves.cbegin(); it != m_mapCurves.cend(); ++it) {
        const QString& strKey = it.key();
        const int nSplit = strKey.indexOf(QLatin1Char('_'));
        const QString strDir = strKey.left(nSplit);
        const CDirSignalInfo* pDir = m_pAxis->FindDir(strDir);
        const int t = pDir ? pDir->GetShownTypes().indexOf(strKey.mid(nSplit + 1)) : -1;
        const int nDir = mapDirPlace.value(strDir, -1);

        auto* pAction = new QAction(strKey, this);
        pAction->setCheckable(true);
        pAction->setChecked(true);
        if (t >= 0 && t < 4 && nDir >= 0 && nDir < 7)
            pAction->setShortcut(QKeySequence(QString(QLatin1Char(kShortcutRows[t][nDir]))));
        addAction(pAction);
        m_mapActions.insert(strKey, pAction);

        QwtLegendLabel* pLabel = m_mapLegendLabels.value(strKey);
        if (!pLabel)
            continue;
        // The key toggles the legend entry and, through its checked signal,
        // the curve.
        connect(pAction, &QAction::triggered, pLabel, &QwtLegendLabel::setChecked);
        connect(pAction, &QAction::triggered, pLabel, &QwtLegendLabel::checked);
        if (!pAction->shortcut().isEmpty())
            pLabel->setText(QwtText(strKey + ShortcutSuffix(strKey)));
    }
}

QString CTouchSignalView::ShortcutSuffix(const QString& strKey) const
{
    const QAction* pAction = m_mapActions.value(strKey);
    if (!pAction || pAction->shortcut().isEmpty())
        return QString();
    return QLatin1Char('(') + pAction->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')');
}

bool CTouchSignalView::UpdateCurveSignal(QString dir, QString type, QList<uint32_t> lstSignals, uint32_t* nFrameNo)
{
    const CDirSignalInfo* pDir = m_pAxis->FindDir(dir);
    const CSignalTypeInfo* pType = pDir ? pDir->FindType(type) : nullptr;
    if (!pType)
        return false;
    const QString strKey = dir + QLatin1Char('_') + pType->GetShow();
    CPlotCurve* pCurve = m_mapCurves.value(strKey);
    if (!pCurve)
        return false;

    const double dStart = m_pAxis->GetSignalStart();
    QVector<QPointF> points;
    points.reserve(lstSignals.size());
    for (int i = 0; i < lstSignals.size(); ++i)
        points.append(QPointF(dStart + i + 1, lstSignals.at(i) * m_dScale));
    if (QThread::currentThread() == thread()) {
        QMutexLocker lock(&m_mutex);
        pCurve->setSamples(points);
    } else {
        // Qwt reads a curve's samples while it lays out a replot, outside
        // the drawing of the canvas, so samples from another thread are set
        // on the view's own thread (dropped with the view).
        QMetaObject::invokeMethod(
            this,
            [this, pCurve, points] {
                QMutexLocker lock(&m_mutex);
                pCurve->setSamples(points);
            },
            Qt::QueuedConnection);
    }

    if (m_bShowFrameNumber && nFrameNo) {
        if (QwtLegendLabel* pLabel = m_mapLegendLabels.value(strKey)) {
            const QString strText = pLabel->text().text();
            const int nCut = strText.indexOf(QLatin1String("-["));
            const QString strLegend = (nCut < 0 ? strText : strText.left(nCut)) + QLatin1String("-[")
                                      + QStringLiteral("%1").arg(*nFrameNo, 3, 10, QLatin1Char('0'))
                                      + QLatin1Char(']');
            QMetaObject::invokeMethod(pLabel, "setText", Qt::AutoConnection, Q_ARG(QString, strLegend));
        }
    }
    // Drawn on the GUI thread, whichever thread brought the readings.
    QMetaObject::invokeMethod(this, "replot", Qt::QueuedConnection);
    return true;
}

bool CTouchSignalView::UpdateCurveSignal(QString dir, QString type, QList<uint32_t> lstSignals)
{
    return UpdateCurveSignal(std::move(dir), std::move(type), std::move(lstSignals), nullptr);
}

QList<QPair<QString, QString>> CTouchSignalView::GetCurveKeys() const
{
    QList<QPair<QString, QString>> lstKeys;
    for (auto it = m_mapCurves.cbegin(); it != m_mapCurves.cend(); ++it) {
        if (!it.value()->isVisible())
            continue;
        const int nSplit = it.key().indexOf(QLatin1Char('_'));
        lstKeys.append(qMakePair(it.key().left(nSplit), it.key().mid(nSplit + 1)));
    }
    return lstKeys;
}

void CTouchSignalView::showItem(QVariant v, bool b, int i)
{
    Q_UNUSED(i);
    QwtPlotItem* pItem = infoToItem(v);
    if (!pItem)
        return;
    pItem->setVisible(b);
    for (auto it = m_mapCurves.cbegin(); it != m_mapCurves.cend(); ++it) {
        if (it.value() != pItem)
            continue;
        for (const auto& pair : qAsConst(m_mapMarkers[it.key()])) {
            pair.first->setVisible(b);
            pair.second->setVisible(b);
        }
        if (QAction* pAction = m_mapActions.value(it.key()))
            pAction->setChecked(b);
        if (QwtLegendLabel* pLabel = m_mapLegendLabels.value(it.key()))
            pLabel->setChecked(b);
    }
    replot();
}

void CTouchSignalView::showSignalType(QString type)
{
    // The legend names every curve of the kind by its direction and the kind,
    // with the key that switches it.
    for (auto it = m_mapLegendLabels.cbegin(); it != m_mapLegendLabels.cend(); ++it) {
        const int nSplit = it.key().indexOf(QLatin1Char('_'));
        if (it.key().mid(nSplit + 1) == type)
            it.value()->setText(QwtText(it.key() + ShortcutSuffix(it.key())));
    }
}

void CTouchSignalView::showMarkResponse(bool bChecked)
{
    for (CPlotCurve* pCurve : qAsConst(m_mapCurves))
        pCurve->SetShowMark(bChecked);
    replot();
}

void CTouchSignalView::showMarkResponse()
{
    showMarkResponse(false);
}

void CTouchSignalView::contextMenuEvent(QContextMenuEvent* event)
{
    m_pMenu->move(event->globalPos());
    m_pMenu->show();
}

void CTouchSignalView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape) {
        QwtPlot::keyPressEvent(event);
        return;
    }
    setWindowFlags(windowFlags() & ~Qt::Window);
    showNormal();
}

void CTouchSignalView::mouseDoubleClickEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
    if (windowFlags() & Qt::Window) {
        setWindowFlags(windowFlags() & ~Qt::Window);
        showNormal();
    } else {
        setWindowFlags(windowFlags() | Qt::Window);
        showFullScreen();
    }
}

void CTouchSignalView::drawCanvas(QPainter* painter)
{
    QMutexLocker lock(&m_mutex);
    QwtPlot::drawCanvas(painter);
}
