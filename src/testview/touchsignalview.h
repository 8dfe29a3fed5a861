#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QVariant>
#include <qwt_plot.h>

#include <cstdint>

class CAxisSignalInfo;
class CPlotCurve;
class CPlotMarker;
class QAction;
class QMenu;
class QwtLegend;
class QwtLegendLabel;
class QwtPlotGrid;
class QwtPlotZoomer;

// The signal readings of one axis as curves: one curve per direction and
// shown signal kind, the test windows of every kind as horizontal lines over
// their LED segments, and the axis's divisions as vertical lines. Readings
// outside their window get a red symbol and, with "Show mark..." (F6), their
// LED's text. The legend switches curves on and off, and so do the keys of
// the grid 1-7 / Q-U / A-J / Z-M (row: kind, column: direction).
//
// The view only reads the axis record: it never creates a direction or a
// kind in it (which would reach the saved test log).
class CTouchSignalView : public QwtPlot
{
    Q_OBJECT

public:
    // The axis record is not owned and must outlive the view.
    CTouchSignalView(const CAxisSignalInfo* pAxis, QWidget* parent = nullptr);
    ~CTouchSignalView() override;

    // Sets the points of the curve of (direction, kind): reading i is drawn at
    // x = signal start + i + 1, y = 4 * reading. The curve is found by the
    // direction and the kind's show text; false when the view has none. May
    // be called from any thread (the axis record is read on the caller's):
    // from another, the points reach the curve through the view's thread.
    Q_INVOKABLE bool UpdateCurveSignal(QString dir, QString type, QList<uint32_t> lstSignals, uint32_t* nFrameNo);
    Q_INVOKABLE bool UpdateCurveSignal(QString dir, QString type, QList<uint32_t> lstSignals);

    // (direction, kind) of every visible curve.
    QList<QPair<QString, QString>> GetCurveKeys() const;

    // For tests and the curve view's users: the curves and window lines by
    // key ("<direction>_<kind>"), and the per-curve actions.
    const QMap<QString, CPlotCurve*>& Curves() const { return m_mapCurves; }
    const QMap<QString, QList<QPair<CPlotMarker*, CPlotMarker*>>>& WindowLines() const { return m_mapMarkers; }
    const QMap<QString, QAction*>& CurveActions() const { return m_mapActions; }
    QwtLegendLabel* LegendLabel(const QString& strKey) const { return m_mapLegendLabels.value(strKey); }
    // The shared "Show mark..." action of every curve view.
    static QAction* ShowMarkAction();

    static constexpr double kScale = 4.0;

public slots:
    void showItem(QVariant v, bool b, int i);
    void showSignalType(QString type);
    void showMarkResponse(bool bChecked);
    void showMarkResponse();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawCanvas(QPainter* painter) override;

private:
    void BuildDivisionMarkers();
    void BuildWindowLines();
    void BuildCurves();
    void BuildLegend();
    void BuildActions();
    QString ShortcutSuffix(const QString& strKey) const;

    const CAxisSignalInfo* m_pAxis = nullptr;
    double m_dScale = kScale;
    QwtPlotGrid* m_pGrid = nullptr;
    QwtLegend* m_pLegend = nullptr;
    QwtPlotZoomer* m_pZoomer = nullptr;
    QMap<QString, CPlotCurve*> m_mapCurves;
    QMap<QString, QList<QPair<CPlotMarker*, CPlotMarker*>>> m_mapMarkers;
    QMap<QString, QwtLegendLabel*> m_mapLegendLabels;
    QMap<QString, QAction*> m_mapActions;
    QMutex m_mutex;
    bool m_bShowFrameNumber = false;
    QMenu* m_pMenu = nullptr;
};
