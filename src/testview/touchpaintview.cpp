#include "touchpaintview.h"

#include "customersettings.h"
#include "screenshot.h"
#include "setupformultidialog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsOpacityEffect>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionGraphicsItem>
#include <QTouchEvent>

#include <algorithm>

namespace {

const char* const kShowGrid = "ShowGrid";
const char* const kGridWidth = "GridWidth";
const char* const kLineWidth = "LineWidth";
const char* const kEnableRightButton = "EnableRightButton";
const char* const kShowNode = "ShowNode";
const char* const kHideButton = "HideButton";

// A touch id released within its sequence keeps this colour number (colour 5).
constexpr uint32_t kReleasedColour = 0xFFFFFFFFu;

// The touch drawing's state, shared by every draw window of the process:
// one touch sequence runs at a time on one screen.
struct STouchDrawing
{
    QColor colours[10];
    QMap<int, uint32_t> mapColourNumbers; // touch id -> colour number
    int nBeginCount = 0;                  // touch begins since the last end or cancel

    STouchDrawing()
    {
        const char* const names[10] = {"red",  "blue",        "green",      "yellow", "purple",
                                       "pink", "saddlebrown", "papayawhip", "grey",   "black"};
        for (int i = 0; i < 10; ++i)
            colours[i] = QColor(QLatin1String(names[i]));
    }
};

STouchDrawing& TouchDrawing()
{
    static STouchDrawing drawing;
    return drawing;
}

// An item that draws nothing and holds others, which follow its visibility
// and stacking. Unlike a QGraphicsItemGroup it keeps no bounding rectangle of
// its children, so adding one costs the same with a hundred thousand as with
// ten. The node holder is one; the drawing itself is kept in such layers of
// at most kLayerSize items each, because the scene walks every top-level item
// (and every child of a changed one) each time something is added.
class CItemLayer : public QGraphicsItem
{
public:
    CItemLayer() { setFlag(QGraphicsItem::ItemHasNoContents); }
    QRectF boundingRect() const override { return QRectF(); }
    void paint(QPainter*, const QStyleOptionGraphicsItem*, QWidget*) override {}
};

constexpr int kLayerSize = 256;
// Depth of the scene's spatial index: 4096 cells over the window. The scene
// would choose one from the few items present at the first touch and keep it.
constexpr int kIndexDepth = 12;
// New items painted over the window's last picture without repainting what
// lies beneath them; more than this since the last paint repaints normally.
constexpr int kMaxNewItemsPainted = 512;

// A stroke segment. Its line and pen never change once drawn, so its bounds
// (a stroked outline with round caps, which Qt recomputes on every call) are
// computed once.
class CStrokeLine : public QGraphicsLineItem
{
public:
    CStrokeLine(const QLineF& line, const QPen& pen)
        : QGraphicsLineItem(line)
    {
        setPen(pen);
        m_bounds = QGraphicsLineItem::boundingRect();
    }
    QRectF boundingRect() const override { return m_bounds; }

private:
    QRectF m_bounds;
};

int ReadWidth(const char* szKey, int nDefault)
{
    return qBound(CTouchPaintView::kMinWidth, CCustomerSettings::GetInstance()->GetInt(QLatin1String(szKey), nDefault),
                  CTouchPaintView::kMaxWidth);
}

bool ReadFlag(const char* szKey, bool bDefault)
{
    return CCustomerSettings::GetInstance()->GetBool(QLatin1String(szKey), bDefault);
}

QPen CosmeticPen(const QColor& color)
{
    QPen pen(color, 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

CTouchPaintView::CTouchPaintView(QWidget* parent)
    : QGraphicsView(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAttribute(Qt::WA_AcceptTouchEvents);

    m_pNodeHolder = MakeNodeHolder();
    m_pNodeHolder->setZValue(10);

    InitLstMenu();
    InitButtons();
    ShowNodeResponse(m_pNodeAction->isChecked());
    HideButtonsResponse(m_pHideButtonsAction->isChecked());

    ReadBackground();
    // Read before the set-up dialog is built, so that the stored defaults are
    // the window's (the dialog's own default for the right button is false).
    ReadDrawSettings();

    m_bMouseDrawing = true;
    m_nLastMouseEvent = 0;

    setScene(&m_scene);
    m_scene.setSceneRect(0, 0, width(), height());
    m_scene.setBspTreeDepth(kIndexDepth);
    // View pixels are scene units from the top-left corner, whatever the
    // window's size: the scene can grow with the window (resizeEvent)
    // without moving what is drawn.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The view paints its whole background itself (drawBackground), so that
    // Qt keeps the last picture under the strokes it adds (paintEvent).
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    m_pSetUpDialog = new CSetUpForMultiDialog(this);

    setRenderHint(QPainter::Antialiasing);
    m_pModalLoop = nullptr;
}

CTouchPaintView::~CTouchPaintView()
{
    if (m_pModalLoop)
        m_pModalLoop->exit(0);
    delete m_pMenu;
    // The scene's items go without asking this view to repaint each one.
    setViewportUpdateMode(QGraphicsView::NoViewportUpdate);
}

QGraphicsItem* CTouchPaintView::MakeNodeHolder()
{
    auto* pHolder = new CItemLayer;
    m_scene.addItem(pHolder);
    return pHolder;
}

void CTouchPaintView::AddDrawn(QGraphicsItem* pItem)
{
    if (!m_pStrokeLayer || m_nStrokeLayerItems >= kLayerSize) {
        m_pStrokeLayer = new CItemLayer;
        m_scene.addItem(m_pStrokeLayer);
        m_nStrokeLayerItems = 0;
    }
    pItem->setParentItem(m_pStrokeLayer);
    ++m_nStrokeLayerItems;
    NoteNewItem(pItem);
}

void CTouchPaintView::HoldNode(QGraphicsItem* pNode)
{
    if (!m_pNodeLayer || m_nNodeLayerItems >= kLayerSize) {
        m_pNodeLayer = new CItemLayer;
        m_pNodeLayer->setParentItem(m_pNodeHolder);
        m_nNodeLayerItems = 0;
    }
    pNode->setParentItem(m_pNodeLayer);
    ++m_nNodeLayerItems;
    ++m_nHeldNodes;
}

void CTouchPaintView::NoteNewItem(QGraphicsItem* pItem)
{
    if (m_lstNewItems.size() < kMaxNewItemsPainted)
        m_lstNewItems.append(pItem);
    else
        m_bTooManyNewItems = true;
}

void CTouchPaintView::ForgetNewItems()
{
    m_lstNewItems.clear();
    m_bTooManyNewItems = false;
}

void CTouchPaintView::ReadBackground()
{
    const bool bShowGrid = ReadFlag(kShowGrid, true);
    SetBackGround(ReadWidth(kGridWidth, 20), bShowGrid);
}

void CTouchPaintView::ReadDrawSettings()
{
    m_nLineWidth = ReadWidth(kLineWidth, 3);
    m_bRightButton = ReadFlag(kEnableRightButton, true);
}

bool CTouchPaintView::SetBackGround(int nGridWidth, bool bShowGrid)
{
    const int n = qBound(kMinWidth, nGridWidth, kMaxWidth);
    QPixmap tile(n, n);
    tile.fill(Qt::transparent);
    if (bShowGrid) {
        // The bottom row and the right column of the cell, one pixel wide.
        QPainter painter(&tile);
        painter.fillRect(QRect(0, n - 1, n, 1), Qt::lightGray);
        painter.fillRect(QRect(n - 1, 0, 1, n), Qt::lightGray);
    }
    setBackgroundBrush(QBrush(tile));
    ForgetNewItems();
    return true;
}

bool CTouchPaintView::InitLstMenu()
{
    m_pNodeAction = new QAction(tr("Set..."), this);
    m_pNodeAction->setShortcut(QKeySequence(Qt::Key_N));
    m_pNodeAction->setCheckable(true);
    m_pNodeAction->setChecked(ReadFlag(kShowNode, false));
    connect(m_pNodeAction, &QAction::triggered, this, &CTouchPaintView::ShowNodeResponse);

    m_pExitAction = new QAction(tr("Exit"), this);
    m_pExitAction->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(m_pExitAction, &QAction::triggered, this, &CTouchPaintView::ExitResponse);

    m_pHideButtonsAction = new QAction(tr("Hide buttons..."), this);
    m_pHideButtonsAction->setCheckable(true);
    m_pHideButtonsAction->setChecked(ReadFlag(kHideButton, false));
    connect(m_pHideButtonsAction, &QAction::triggered, this, &CTouchPaintView::HideButtonsResponse);

    m_pPrintAction = new QAction(tr("Print screen..."), this);
    m_pPrintAction->setShortcut(QKeySequence::Print);
    connect(m_pPrintAction, &QAction::triggered, this, &CTouchPaintView::PrtSrcResponse);

    m_pClearAction = new QAction(tr("Clear screen..."), this);
    m_pClearAction->setShortcuts({QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_C)});
    connect(m_pClearAction, &QAction::triggered, this, &CTouchPaintView::ClearResponse);

    // The shortcuts work anywhere in the window.
    addAction(m_pNodeAction);
    addAction(m_pExitAction);
    addAction(m_pPrintAction);
    addAction(m_pClearAction);

    m_pMenu = new QMenu;
    m_pMenu->addAction(m_pClearAction);
    m_pMenu->addAction(m_pPrintAction);
    m_pMenu->addAction(m_pHideButtonsAction);
    m_pMenu->addSeparator();
    m_pMenu->addAction(m_pExitAction);
    return true;
}

bool CTouchPaintView::InitButtons()
{
    m_pSetUpButton = new QPushButton(tr("SetUp"), this);
    m_pExitButton = new QPushButton(tr("Exit"), this);
    m_pClearButton = new QPushButton(tr("Clear"), this);
    for (QPushButton* pButton : {m_pSetUpButton, m_pExitButton, m_pClearButton}) {
        auto* pOpacity = new QGraphicsOpacityEffect(pButton);
        pOpacity->setOpacity(0.7);
        pButton->setGraphicsEffect(pOpacity);
        pButton->setMaximumWidth(100);
    }
    connect(m_pSetUpButton, &QPushButton::released, this, &CTouchPaintView::SetUpResponse);
    connect(m_pClearButton, &QPushButton::released, this, &CTouchPaintView::ClearResponse);
    connect(m_pExitButton, &QPushButton::released, this, &CTouchPaintView::ExitResponse);

    auto* pLayout = new QHBoxLayout(this);
    pLayout->addStretch();
    pLayout->addWidget(m_pSetUpButton);
    pLayout->addWidget(m_pClearButton);
    pLayout->addWidget(m_pExitButton);
    pLayout->addStretch();
    return true;
}

void CTouchPaintView::ExitResponse()
{
    if (m_pModalLoop) {
        m_pModalLoop->quit();
        m_pModalLoop = nullptr;
    }
    ClearResponse();
    close();
    emit exit();
}

void CTouchPaintView::ClearResponse()
{
    // Every item leaving would add its rectangle to the region to repaint,
    // which costs the square of their number: the window is repainted whole.
    ForgetNewItems();
    setViewportUpdateMode(QGraphicsView::NoViewportUpdate);
    m_scene.clear();
    setViewportUpdateMode(m_bRepaintingAll ? QGraphicsView::FullViewportUpdate
                                           : QGraphicsView::MinimalViewportUpdate);
    viewport()->update();
    m_lstLooseNodes.clear();
    // ShowRect's items and the layers went with the scene.
    m_mapRectItems.clear();
    m_mapRectLabels.clear();
    m_pStrokeLayer = nullptr;
    m_nStrokeLayerItems = 0;
    m_pNodeLayer = nullptr;
    m_nNodeLayerItems = 0;
    m_nHeldNodes = 0;
    m_pNodeHolder = MakeNodeHolder();
    m_pNodeHolder->setVisible(m_pNodeAction->isChecked());
}

void CTouchPaintView::SetUpResponse()
{
    if (m_pSetUpDialog->exec() <= 0)
        return;
    ReadBackground();
    ReadDrawSettings();
}

void CTouchPaintView::PrtSrcResponse()
{
    CScreenshot::Save(grab());
}

void CTouchPaintView::ShowNodeResponse(bool bShow)
{
    // Nodes may have been painted as new items, which the scene does not
    // know to erase: the whole window is painted again.
    RepaintAll();
    for (QGraphicsItem* pNode : qAsConst(m_lstLooseNodes))
        HoldNode(pNode);
    m_lstLooseNodes.clear();
    m_pNodeHolder->setVisible(bShow);
}

void CTouchPaintView::HideButtonsResponse(bool bShow)
{
    for (QPushButton* pButton : {m_pSetUpButton, m_pExitButton, m_pClearButton})
        pButton->setVisible(!bShow);
}

void CTouchPaintView::AddLine(QPointF lastPos, QPointF pos, double nWidth, QColor color)
{
    AddDrawn(new CStrokeLine(QLineF(lastPos, pos), QPen(color, nWidth, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin)));
}

void CTouchPaintView::AddNode(QPointF pos, double nWidth, QColor color)
{
    auto* pNode = new QGraphicsRectItem(pos.x() - nWidth, pos.y() - nWidth, 2 * nWidth, 2 * nWidth);
    pNode->setPen(CosmeticPen(color));
    if (m_pNodeAction->isChecked()) {
        AddDrawn(pNode);
        m_lstLooseNodes.append(pNode);
    } else {
        HoldNode(pNode);
    }
}

void CTouchPaintView::AddPoint(QPointF pos, double nWidth, QColor color)
{
    auto* pDot = new QGraphicsEllipseItem(pos.x() - nWidth / 2, pos.y() - nWidth / 2, nWidth, nWidth);
    pDot->setPen(CosmeticPen(color));
    pDot->setBrush(QBrush(color));
    AddDrawn(pDot);
}

void CTouchPaintView::ShowRect(int nId, Qt::TouchPointState eState, QRectF rect)
{
    Q_UNUSED(eState);
    const QPointF corner = mapToScene(QPoint(static_cast<int>(rect.x()), static_cast<int>(rect.y())));
    QGraphicsEllipseItem*& pEllipse = m_mapRectItems[nId];
    if (!pEllipse)
        pEllipse = m_scene.addEllipse(QRectF());
    pEllipse->setRect(QRectF(corner, rect.size()));
    QGraphicsSimpleTextItem*& pLabel = m_mapRectLabels[nId];
    if (!pLabel)
        pLabel = m_scene.addSimpleText(QString());
    pLabel->setText(QString::number(rect.width(), 'g', 6) + QLatin1Char('*') + QString::number(rect.height(), 'g', 6));
    pLabel->setPos(corner);
}

int CTouchPaintView::exec()
{
    const bool bWasModal = testAttribute(Qt::WA_ShowModal);
    setAttribute(Qt::WA_ShowModal, true);
    show();
    QEventLoop loop;
    m_pModalLoop = &loop;
    QPointer<CTouchPaintView> guard(this);
    const int nResult = loop.exec(QEventLoop::DialogExec);
    if (guard) {
        if (m_pModalLoop == &loop)
            m_pModalLoop = nullptr;
        hide();
        setAttribute(Qt::WA_ShowModal, bWasModal);
    }
    return nResult;
}

void CTouchPaintView::ShowTouchTestResult(bool bPass)
{
    const int w = width();
    const int h = height();
    const double dWidth = 2.0 * m_nLineWidth;
    if (bPass) {
        const QPointF a = ToScene(QPointF(2 * w / 5, 29 * h / 60));
        const QPointF b = ToScene(QPointF(7 * w / 15, 13 * h / 20));
        const QPointF c = ToScene(QPointF(11 * w / 15, 2 * h / 5));
        AddLine(a, b, dWidth, Qt::darkGreen);
        AddLine(b, c, dWidth, Qt::darkGreen);
    } else {
        AddLine(ToScene(QPointF(2 * w / 5, 2 * h / 5)), ToScene(QPointF(3 * w / 5, 3 * h / 5)), dWidth, Qt::red);
        AddLine(ToScene(QPointF(2 * w / 5, 3 * h / 5)), ToScene(QPointF(3 * w / 5, 2 * h / 5)), dWidth, Qt::red);
    }
}

QPointF CTouchPaintView::ToScene(const QPointF& viewPos) const
{
    // Whole view pixels, halves rounded away from zero.
    return mapToScene(viewPos.toPoint());
}

bool CTouchPaintView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
        m_bMouseDrawing = false;
        Q_FALLTHROUGH();
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        DrawTouch(static_cast<QTouchEvent*>(event));
        return true;
    default:
        return QGraphicsView::event(event);
    }
}

void CTouchPaintView::DrawTouch(QTouchEvent* event)
{
    STouchDrawing& drawing = TouchDrawing();
    if (event->type() == QEvent::TouchBegin)
        ++drawing.nBeginCount;

    bool bDraw = true;
    const QList<QTouchEvent::TouchPoint>& points = event->touchPoints();
    if (!drawing.mapColourNumbers.isEmpty() && drawing.nBeginCount > 1) {
        // A begin inside a running sequence draws only when it carries one
        // of the sequence's fingers.
        bDraw = std::any_of(points.cbegin(), points.cend(), [&](const QTouchEvent::TouchPoint& point) {
            return drawing.mapColourNumbers.contains(point.id());
        });
    }

    if (bDraw) {
        for (const QTouchEvent::TouchPoint& point : points) {
            auto it = drawing.mapColourNumbers.find(point.id());
            if (it == drawing.mapColourNumbers.end()) {
                it = drawing.mapColourNumbers.insert(point.id(), 0);
                it.value() = static_cast<uint32_t>(drawing.mapColourNumbers.size());
            }
            const QColor colour = drawing.colours[it.value() % 10];
            const QPointF pos = ToScene(point.pos());
            const QPointF lastPos = ToScene(point.lastPos());
            switch (point.state()) {
            case Qt::TouchPointPressed:
                AddPoint(pos, m_nLineWidth, colour);
                AddNode(pos, m_nLineWidth, Qt::darkGray);
                break;
            case Qt::TouchPointMoved:
            case Qt::TouchPointStationary:
                AddLine(lastPos, pos, m_nLineWidth, colour);
                AddNode(pos, m_nLineWidth, Qt::darkGray);
                break;
            case Qt::TouchPointReleased:
                AddLine(lastPos, pos, m_nLineWidth, colour);
                AddNode(pos, m_nLineWidth, Qt::darkGray);
                it.value() = kReleasedColour;
                break;
            default:
                break;
            }
        }
    }

    if (event->type() == QEvent::TouchEnd || event->type() == QEvent::TouchCancel) {
        drawing.nBeginCount = 0;
        drawing.mapColourNumbers.clear();
    }
    event->accept();
}

void CTouchPaintView::DrawMouse(QMouseEvent* event)
{
    const QPointF p = ToScene(event->localPos());
    const bool bStroke = m_nLastMouseEvent == QEvent::MouseButtonPress || m_nLastMouseEvent == QEvent::MouseMove;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (!m_bMouseDrawing)
            return;
        AddPoint(p, m_nLineWidth, Qt::red);
        m_lastMousePos = p;
        m_nLastMouseEvent = QEvent::MouseButtonPress;
        break;
    case QEvent::MouseMove:
        if (!m_bMouseDrawing)
            return;
        if (bStroke) {
            AddLine(m_lastMousePos, p, m_nLineWidth, Qt::red);
            AddNode(p, m_nLineWidth, Qt::darkGray);
        } else {
            AddPoint(p, m_nLineWidth, Qt::red);
        }
        m_lastMousePos = p;
        m_nLastMouseEvent = QEvent::MouseMove;
        break;
    case QEvent::MouseButtonRelease:
        if (m_bMouseDrawing) {
            if (bStroke) {
                AddLine(m_lastMousePos, p, m_nLineWidth, Qt::red);
                AddNode(p, m_nLineWidth, Qt::darkGray);
            } else {
                AddPoint(p, m_nLineWidth, Qt::red);
            }
        } else {
            // The release that follows a touch only gives the mouse back.
            m_bMouseDrawing = true;
        }
        m_nLastMouseEvent = QEvent::MouseButtonRelease;
        break;
    default:
        break;
    }
}

void CTouchPaintView::mousePressEvent(QMouseEvent* event)
{
    DrawMouse(event);
    QGraphicsView::mousePressEvent(event);
}

void CTouchPaintView::mouseReleaseEvent(QMouseEvent* event)
{
    DrawMouse(event);
    QGraphicsView::mouseReleaseEvent(event);
}

void CTouchPaintView::mouseMoveEvent(QMouseEvent* event)
{
    DrawMouse(event);
    QGraphicsView::mouseMoveEvent(event);
}

void CTouchPaintView::paintEvent(QPaintEvent* event)
{
    if (!PaintNewItemsOnly(event))
        QGraphicsView::paintEvent(event);
    ForgetNewItems();
    if (m_bRepaintingAll) {
        m_bRepaintingAll = false;
        setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    }
}

bool CTouchPaintView::PaintNewItemsOnly(QPaintEvent* event)
{
    // A finger adds a few small items on top of a drawing that may hold a
    // hundred thousand: repainting everything under them costs far more
    // than the new items. When the region to paint is exactly where new
    // items went and the window's last picture is still under it (not a
    // whole-window paint such as a grab), only the new items are painted
    // over it, in their stacking order.
    if (m_lstNewItems.isEmpty() || m_bTooManyNewItems)
        return false;
    const QRegion region = event->region();
    if (region.boundingRect() == viewport()->rect())
        return false;
    QRegion covered;
    for (QGraphicsItem* pItem : qAsConst(m_lstNewItems))
        covered += mapFromScene(pItem->sceneBoundingRect()).boundingRect().adjusted(-3, -3, 3, 3);
    if (!(region - covered).isEmpty())
        return false;

    // Where something stands over the new items (a translucent button,
    // nodes held above the strokes, ShowRect's marks), the last picture
    // cannot simply be painted over: there the drawing is painted afresh.
    QRegion afresh;
    for (QPushButton* pButton : {m_pSetUpButton, m_pExitButton, m_pClearButton}) {
        if (pButton->isVisible())
            afresh += QRect(viewport()->mapFrom(this, pButton->pos()), pButton->size());
    }
    auto addOver = [this, &afresh](const QGraphicsItem* pItem) {
        afresh += mapFromScene(pItem->sceneBoundingRect()).boundingRect().adjusted(-3, -3, 3, 3);
    };
    if (m_nHeldNodes > 0 && m_pNodeHolder->isVisible() && m_pNodeHolder->zValue() > 0) {
        for (const QRect& rect : region) {
            const QList<QGraphicsItem*> under =
                m_scene.items(mapToScene(rect).boundingRect(), Qt::IntersectsItemBoundingRect, Qt::AscendingOrder);
            for (const QGraphicsItem* pItem : under) {
                if (m_pNodeHolder->isAncestorOf(pItem))
                    addOver(pItem);
            }
        }
    }
    for (const QGraphicsItem* pItem : qAsConst(m_mapRectItems))
        addOver(pItem);
    for (const QGraphicsItem* pItem : qAsConst(m_mapRectLabels))
        addOver(pItem);
    afresh &= region;

    QPainter painter(viewport());
    painter.setRenderHints(renderHints());
    const QTransform toViewport = viewportTransform();
    if (!afresh.isEmpty()) {
        painter.save();
        painter.setClipRegion(afresh);
        const QRect box = afresh.boundingRect();
        const QRectF sceneBox = toViewport.inverted().mapRect(QRectF(box));
        painter.setWorldTransform(toViewport);
        drawBackground(&painter, sceneBox);
        painter.resetTransform();
        m_scene.render(&painter, QRectF(box), sceneBox, Qt::IgnoreAspectRatio);
        painter.restore();
    }
    const QRegion rest = region - afresh;
    if (rest.isEmpty())
        return true;
    painter.setClipRegion(rest);
    for (QGraphicsItem* pItem : qAsConst(m_lstNewItems)) {
        if (!pItem->isVisible())
            continue;
        painter.save();
        painter.setTransform(pItem->sceneTransform() * toViewport);
        QStyleOptionGraphicsItem option;
        option.exposedRect = pItem->boundingRect();
        pItem->paint(&painter, &option, viewport());
        painter.restore();
    }
    return true;
}

void CTouchPaintView::RepaintAll()
{
    // Many items leaving or hiding at once would each add their rectangle to
    // the region to repaint, which costs the square of their number: let
    // the view repaint the whole window instead, until the next paint.
    ForgetNewItems();
    m_bRepaintingAll = true;
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    viewport()->update();
}

void CTouchPaintView::drawBackground(QPainter* painter, const QRectF& rect)
{
    // The window's own colour under the transparent grid tile.
    painter->fillRect(rect, viewport()->palette().brush(viewport()->backgroundRole()));
    QGraphicsView::drawBackground(painter, rect);
}

void CTouchPaintView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    // The scene covers at least the window, so that its index divides the
    // area the fingers draw in; it only grows, from the same corner.
    const QRectF area = m_scene.sceneRect() | QRectF(QPointF(0, 0), QSizeF(viewport()->size()));
    if (area != m_scene.sceneRect())
        m_scene.setSceneRect(area);
}

void CTouchPaintView::wheelEvent(QWheelEvent* event)
{
    // Neither scrolls nor zooms: the drawing stays where the fingers put it.
    event->accept();
}

void CTouchPaintView::keyPressEvent(QKeyEvent* event)
{
    // Escape also reaches here when the "Exit" shortcut did not take it.
    if (event->key() == Qt::Key_Escape)
        ExitResponse();
    event->accept();
}

void CTouchPaintView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_bRightButton) {
        // The window fills the screen, so the click's place on the screen is
        // its place in the view.
        m_pMenu->move(event->globalPos());
        m_pMenu->show();
    }
    QGraphicsView::contextMenuEvent(event);
}
