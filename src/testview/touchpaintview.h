#pragma once

#include <QColor>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QRectF>

class CSetUpForMultiDialog;
class QAction;
class QEventLoop;
class QGraphicsEllipseItem;
class QGraphicsItem;
class QGraphicsSimpleTextItem;
class QMenu;
class QPushButton;
class QTouchEvent;

// The draw test: a full-screen window that paints every touch the system
// reports, each finger of a touch sequence in a colour of its own, and marks
// every reported position with a small square (a node) while "Set..." (N) is
// on. The mouse draws in red. The test view stamps a tick or a cross over the
// drawing as the verdict of a touch test. Settings: "ShowGrid", "GridWidth",
// "LineWidth", "EnableRightButton" (edited by the set-up dialog), "ShowNode"
// and "HideButton" (initial states of the two toggles).
class CTouchPaintView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit CTouchPaintView(QWidget* parent = nullptr);
    ~CTouchPaintView() override;

    // The item that holds the nodes drawn while "Set..." is off (visible
    // exactly while it is on); it is remade by ClearResponse.
    QGraphicsItem* NodeHolder() const { return m_pNodeHolder; }
    int LineWidth() const { return m_nLineWidth; }
    bool RightButtonEnabled() const { return m_bRightButton; }

    // The widths the window reads from the settings are bound to the set-up
    // dialog's range: a stored 0, a negative number or a text reads as 1, and
    // a huge grid (tens of gigabytes of tile) is cut to 99.
    static constexpr int kMinWidth = 1;
    static constexpr int kMaxWidth = 99;

signals:
    void exit();

public slots:
    bool SetBackGround(int nGridWidth = 20, bool bShowGrid = true);
    bool InitLstMenu();
    bool InitButtons();
    void ExitResponse();
    void ClearResponse();
    void SetUpResponse();
    void PrtSrcResponse();
    void ShowNodeResponse(bool bShow);
    void HideButtonsResponse(bool bShow);
    void AddLine(QPointF lastPos, QPointF pos, double nWidth, QColor color = Qt::red);
    void AddNode(QPointF pos, double nWidth, QColor color = Qt::red);
    void AddPoint(QPointF pos, double nWidth, QColor color = Qt::red);
    void ShowRect(int nId, Qt::TouchPointState eState, QRectF rect);
    virtual int exec();
    void ShowTouchTestResult(bool bPass);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;

private:
    void DrawTouch(QTouchEvent* event);
    void DrawMouse(QMouseEvent* event);
    // "ShowGrid" and "GridWidth" into the background.
    void ReadBackground();
    // "LineWidth" and "EnableRightButton".
    void ReadDrawSettings();
    QGraphicsItem* MakeNodeHolder();
    // A dot, a stroke or a loose node, into the current layer of the drawing.
    void AddDrawn(QGraphicsItem* pItem);
    // A node into the holder (through its current layer).
    void HoldNode(QGraphicsItem* pNode);
    void NoteNewItem(QGraphicsItem* pItem);
    void ForgetNewItems();
    bool PaintNewItemsOnly(QPaintEvent* event);
    void RepaintAll();
    QPointF ToScene(const QPointF& viewPos) const;

    QGraphicsScene m_scene;
    QGraphicsItem* m_pNodeHolder = nullptr;
    QList<QGraphicsItem*> m_lstLooseNodes;
    QMap<int, QGraphicsEllipseItem*> m_mapRectItems;
    QMap<int, QGraphicsSimpleTextItem*> m_mapRectLabels;
    int m_nLineWidth = 3;
    bool m_bMouseDrawing = true;
    bool m_bRightButton = true;
    QMenu* m_pMenu = nullptr;
    QAction* m_pHideButtonsAction = nullptr;
    QAction* m_pNodeAction = nullptr;
    QAction* m_pPrintAction = nullptr;
    QAction* m_pClearAction = nullptr;
    QAction* m_pExitAction = nullptr;
    QPushButton* m_pSetUpButton = nullptr;
    QPushButton* m_pExitButton = nullptr;
    QPushButton* m_pClearButton = nullptr;
    CSetUpForMultiDialog* m_pSetUpDialog = nullptr;
    QPointF m_lastMousePos;
    int m_nLastMouseEvent = 0;
    QEventLoop* m_pModalLoop = nullptr;

    QGraphicsItem* m_pStrokeLayer = nullptr;
    int m_nStrokeLayerItems = 0;
    QGraphicsItem* m_pNodeLayer = nullptr;
    int m_nNodeLayerItems = 0;
    int m_nHeldNodes = 0;
    QList<QGraphicsItem*> m_lstNewItems; // added since the last paint, in order
    bool m_bTooManyNewItems = false;
    bool m_bRepaintingAll = false;
};
