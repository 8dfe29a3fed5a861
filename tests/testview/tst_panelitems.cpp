// The items of the panel diagram, each from a record of its own: the sensor
// symbols and their bounds per kind, the board's size by placement, the pins
// of a connector, the fills and label of every state, the USB picture and the
// label on screen.

#include "connector.h"
#include "graphicstextitem.h"
#include "irsensor.h"
#include "panellooks.h"
#include "pcbboard.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QGraphicsPixmapItem>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QtTest>
#include <memory>

namespace {

bool Near(double a, double b)
{
    return std::abs(a - b) < 1e-9;
}

bool Near(const QRectF &a, const QRectF &b)
{
    return Near(a.x(), b.x()) && Near(a.y(), b.y()) && Near(a.width(), b.width()) && Near(a.height(), b.height());
}

QString RectText(const QRectF &r)
{
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

int CountPoint(const QPolygonF &polygon, const QPointF &pt)
{
    int n = 0;
    for (const QPointF &p : polygon)
        n += Near(p.x(), pt.x()) && Near(p.y(), pt.y()) ? 1 : 0;
    return n;
}

// Every pen of the diagram's items: solid, width 0 (cosmetic), square cap,
// bevel join.
bool DiagramPen(const QPen &pen)
{
    return pen.style() == Qt::SolidLine && pen.widthF() == 0.0 && pen.isCosmetic()
        && pen.capStyle() == Qt::SquareCap && pen.joinStyle() == Qt::BevelJoin;
}

CSensorInfo Sensor(int nType)
{
    CSensorInfo led;
    led.SetID(QStringLiteral("LED%1").arg(nType));
    led.SetType(nType);
    led.SetPos(QPointF(3.0, -1.5));
    return led; // width 5.2, length 7.28, vCenter 2.6 by default
}

} // namespace

class TestPanelItems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitStationResources();
        RegisterStationMetaTypes();
    }

    void sensorBounds_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("symbol"); // transmitter, receiver or none
        const char *names[8] = {"DIP_T_L", "DIP_R_L", "SMT_T_L", "SMT_R_L", "DIP_T_S", "DIP_R_S", "SMT_T_S", "SMT_R_S"};
        for (int t = 0; t < 8; ++t)
            QTest::newRow(names[t]) << t << (t % 2 == 0 ? "transmitter" : "receiver");
        QTest::newRow("kind 9") << 9 << "none";
        QTest::newRow("kind -1") << -1 << "none";
    }

    // The symbol runs from the pin tips (c - l - p) down to the lowest point
    // of the semicircular end (c); the bounds are that rectangle whatever the
    // kind, and a receiver's two strokes visit the top corners a second time.
    void sensorBounds()
    {
        QFETCH(int, type);
        QFETCH(QString, symbol);
        const double s = 2.0;
        const double w = 5.2 * s, l = 7.28 * s, c = 2.6 * s, p = 2.0 * s;
        const CSensorInfo led = Sensor(type);
        CIRSensor sensor(&led, s, nullptr);

        const QRectF bounds(-w / 2, c - l - p, w, l + p);
        QVERIFY2(Near(sensor.boundingRect(), bounds), qPrintable(RectText(sensor.boundingRect())));
        QVERIFY(Near(sensor.shape().boundingRect(), bounds));
        QVERIFY(sensor.shape().contains(QPointF(-w / 2 + 0.01, c - 0.01))); // a corner outside the dome
        QCOMPARE(sensor.pos(), QPointF(6.0, -3.0));
        QCOMPARE(sensor.toolTip(), led.GetID());
        QVERIFY(sensor.Label());
        QCOMPARE(sensor.Label()->Text(), led.GetID());
        QCOMPARE(sensor.Label()->toolTip(), led.GetID());
        QVERIFY(!sensor.Label()->isVisible());
        QCOMPARE(sensor.Label()->parentItem(), &sensor);
        QCOMPARE(sensor.Label()->TextColor(), QColor(Qt::red));
        QVERIFY(DiagramPen(sensor.pen()));
        QCOMPARE(sensor.pen().color(), QColor(Qt::black));
        QCOMPARE(sensor.brush().style(), Qt::NoBrush);

        const QPolygonF polygon = sensor.polygon();
        if (symbol == QLatin1String("none")) {
            QVERIFY(polygon.isEmpty());
            return;
        }
        QVERIFY2(Near(polygon.boundingRect(), bounds), qPrintable(RectText(polygon.boundingRect())));
        QCOMPARE(CountPoint(polygon, QPointF(0, c)), 1); // the lowest point of the end
        for (double x : {-w / 4, w / 4})
            QCOMPARE(CountPoint(polygon, QPointF(x, c - l - p)), 1); // one tip per pin
        const int nCorner = symbol == QLatin1String("receiver") ? 2 : 1;
        QCOMPARE(CountPoint(polygon, QPointF(-w / 2, c - l)), nCorner);
        QCOMPARE(CountPoint(polygon, QPointF(w / 2, c - l)), nCorner);
    }

    void boardSize_data()
    {
        QTest::addColumn<int>("placement");
        QTest::addColumn<double>("height"); // the drawn height
        // Record: width 10, length 80, height 6.
        QTest::newRow("Lying") << 1 << 10.0;
        QTest::newRow("Standing") << 0 << 6.0;
        QTest::newRow("other placement") << 7 << 6.0;
    }

    void boardSize()
    {
        QFETCH(int, placement);
        QFETCH(double, height);
        const double s = 1.5;
        CPcbInfo pcb;
        pcb.SetID(QStringLiteral("B7"));
        pcb.SetSize(10.0, 80.0, 6.0);
        pcb.SetPlacement(placement);
        pcb.SetAngle(90.0);
        pcb.SetPos(QPointF(20.0, -4.0));
        pcb.SetLeds({Sensor(0), Sensor(1), Sensor(2)});
        CPcbBoard board(&pcb, s, nullptr);

        const QRectF bounds(-40.0 * s, -height * s / 2, 80.0 * s, height * s);
        QVERIFY2(Near(board.boundingRect(), bounds), qPrintable(RectText(board.boundingRect())));
        QVERIFY(Near(board.polygon().boundingRect(), bounds));
        QVERIFY(board.polygon().isClosed());
        QCOMPARE(board.pos(), QPointF(30.0, -6.0));
        QCOMPARE(board.rotation(), 90.0);
        QCOMPARE(board.toolTip(), QStringLiteral("B7"));
        QCOMPARE(board.brush(), QBrush(QColor(34, 139, 34)));
        QVERIFY(DiagramPen(board.pen()));
        // The sensors are the board's children, in record order, at the same scale.
        const QList<CIRSensor *> sensors = board.GetSensors();
        QCOMPARE(sensors.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(sensors[i]->parentItem(), &board);
            QCOMPARE(sensors[i]->Info().GetType(), i);
            QCOMPARE(sensors[i]->pos(), QPointF(3.0 * s, -1.5 * s));
        }
    }

    // Type 3: three pins per side at the quarters, pointing outwards, the
    // pin lengths in the order left d0, lower d2, right d1, upper d3.
    void connectorPins()
    {
        const double s = 2.0;
        CConnectorInfo info;
        info.SetID(QStringLiteral("B1-B2"));
        info.SetSize(6.0, 8.0, 3.0); // width, length, height
        info.SetDipLength(1.0, 2.0, 3.0, 4.0);
        info.SetAngle(180.0);
        info.SetPos(QPointF(5.0, 7.0));
        QCOMPARE(info.GetType(), 3);
        CConnector connector(&info, s, nullptr);

        const double L = 16.0, W = 12.0, d0 = 2.0, d1 = 4.0, d2 = 6.0, d3 = 8.0;
        QList<QPointF> expected;
        for (int k = 1; k <= 3; ++k)
            expected << QPointF(-L / 2 - d0, -W / 2 + k * W / 4);
        for (int k = 1; k <= 3; ++k)
            expected << QPointF(-L / 2 + k * L / 4, W / 2 + d2);
        for (int k = 1; k <= 3; ++k)
            expected << QPointF(L / 2 + d1, W / 2 - k * W / 4);
        for (int k = 1; k <= 3; ++k)
            expected << QPointF(L / 2 - k * L / 4, -W / 2 - d3);

        // The pin tips are the points outside the body, in outline order.
        const QRectF body(-L / 2, -W / 2, L, W);
        QList<QPointF> tips;
        for (const QPointF &pt : connector.polygon())
            if (!body.adjusted(-1e-9, -1e-9, 1e-9, 1e-9).contains(pt))
                tips << pt;
        QCOMPARE(tips.size(), expected.size());
        for (int i = 0; i < tips.size(); ++i)
            QVERIFY2(Near(tips[i].x(), expected[i].x()) && Near(tips[i].y(), expected[i].y()),
                     qPrintable(QStringLiteral("tip %1 at (%2, %3)").arg(i).arg(tips[i].x()).arg(tips[i].y())));
        for (const QPointF &corner : {body.topLeft(), body.bottomLeft(), body.bottomRight(), body.topRight()})
            QVERIFY(CountPoint(connector.polygon(), corner) >= 1);

        QCOMPARE(connector.pos(), QPointF(10.0, 14.0));
        QCOMPARE(connector.rotation(), 180.0);
        QCOMPARE(connector.zValue(), 1.0);
        QCOMPARE(connector.toolTip(), QStringLiteral("B1-B2"));
        QCOMPARE(connector.brush(), QBrush(QColor(Qt::black)));
        QVERIFY(DiagramPen(connector.pen()));
        QCOMPARE(connector.pen().color(), QColor(255, 215, 0));
    }

    void connectorOutlineWithoutPins()
    {
        const double d[4] = {1, 2, 3, 4};
        const QPolygonF polygon = CConnector::Outline(0, 16.0, 12.0, d).toFillPolygon(QTransform());
        QVERIFY(Near(polygon.boundingRect(), QRectF(-8, -6, 16, 12)));
        QCOMPARE(CConnector::Outline(-5, 16.0, 12.0, d).elementCount(), 5);
    }

    void states_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("showLabel");
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<bool>("labelShown");

        const QColor green(34, 139, 34);
        QTest::newRow("board PCB_ERROR") << "board" << "PCB_ERROR" << true << QColor("red") << false;
        QTest::newRow("board pcb_error is sound") << "board" << "pcb_error" << true << green << false;
        QTest::newRow("board OK") << "board" << "OK" << true << green << false;
        QTest::newRow("sensor SENSOR_ERROR, label") << "sensor" << "SENSOR_ERROR" << true << QColor(Qt::red) << true;
        QTest::newRow("sensor SENSOR_ERROR, no label") << "sensor" << "SENSOR_ERROR" << false << QColor(Qt::red) << false;
        QTest::newRow("sensor SENSOR_WEEK, label") << "sensor" << "SENSOR_WEEK" << true << QColor(Qt::yellow) << true;
        QTest::newRow("sensor SENSOR_WEEK, no label") << "sensor" << "SENSOR_WEEK" << false << QColor(Qt::yellow) << false;
        QTest::newRow("sensor OK hides the label") << "sensor" << "OK" << true << QColor(Qt::transparent) << false;
        QTest::newRow("sensor other text") << "sensor" << "SENSOR_WEAK" << true << QColor(Qt::transparent) << false;
        QTest::newRow("connector CONNECTOR_ERROR") << "connector" << "CONNECTOR_ERROR" << true << QColor(Qt::red) << false;
        QTest::newRow("connector PRO1") << "connector" << "CONNECTOR_ERROR_PRO1" << true << QColor(Qt::yellow) << false;
        QTest::newRow("connector PRO2") << "connector" << "CONNECTOR_ERROR_PRO2" << true << QColor(Qt::blue) << false;
        QTest::newRow("connector OK") << "connector" << "OK" << true << QColor(Qt::black) << false;
        QTest::newRow("connector other case") << "connector" << "connector_error" << true << QColor(Qt::black) << false;
    }

    // Each state from a faulty look first, so that every row shows the
    // change it makes.
    void states()
    {
        QFETCH(QString, item);
        QFETCH(QString, state);
        QFETCH(bool, showLabel);
        QFETCH(QColor, fill);
        QFETCH(bool, labelShown);

        QScopedPointer<QGraphicsScene> scene(new QGraphicsScene);
        QBrush brush;
        bool bLabel = false;
        if (item == QLatin1String("board")) {
            CPcbInfo pcb;
            auto *pBoard = new CPcbBoard(&pcb, 1.0, nullptr);
            scene->addItem(pBoard);
            QVERIFY(pBoard->SetState(QStringLiteral("PCB_ERROR")));
            QVERIFY(pBoard->SetState(state));
            brush = pBoard->brush();
        } else if (item == QLatin1String("sensor")) {
            const CSensorInfo led = Sensor(1);
            auto *pSensor = new CIRSensor(&led, 1.0, nullptr);
            scene->addItem(pSensor);
            QVERIFY(pSensor->SetState(QStringLiteral("SENSOR_WEEK"), true));
            QVERIFY(pSensor->LabelShown());
            QVERIFY(pSensor->SetState(state, showLabel));
            brush = pSensor->brush();
            bLabel = pSensor->LabelShown();
        } else {
            CConnectorInfo info;
            auto *pConnector = new CConnector(&info, 1.0, nullptr);
            scene->addItem(pConnector);
            QVERIFY(pConnector->SetState(QStringLiteral("CONNECTOR_ERROR_PRO2")));
            QVERIFY(pConnector->SetState(state));
            brush = pConnector->brush();
        }
        QCOMPARE(brush.style(), Qt::SolidPattern);
        QCOMPARE(brush.color(), fill);
        QCOMPARE(bLabel, labelShown);
    }

    // The picture below the board: mirrored, at (left + height, bottom +
    // picture height), above everything; false adds nothing.
    void usbPicture()
    {
        CPcbInfo pcb;
        pcb.SetSize(10.0, 80.0, 6.0);
        pcb.SetPlacement(1);
        CPcbBoard board(&pcb, 0.5, nullptr);
        board.ShowUsb(false);
        QVERIFY(board.childItems().isEmpty());
        board.ShowUsb(true);
        QCOMPARE(board.childItems().size(), 1);
        auto *pUsb = qgraphicsitem_cast<QGraphicsPixmapItem *>(board.childItems().first());
        QVERIFY(pUsb);
        QCOMPARE(pUsb->pixmap().size(), QSize(159, 41));
        QCOMPARE(pUsb->scale(), 0.5);
        QCOMPARE(pUsb->zValue(), 1000.0);
        QCOMPARE(pUsb->transform(), QTransform(1, 0, 0, -1, 0, 0));
        const QRectF rc = board.boundingRect(); // (-20, -2.5, 40, 5)
        QCOMPARE(pUsb->pos(), QPointF(rc.left() + rc.height(), rc.bottom() + 41.0));
    }

    void labelOnScreen_data()
    {
        QTest::addColumn<double>("boardAngle");
        QTest::addColumn<bool>("turned"); // the view turned by 180°, else mirrored vertically
        QTest::addColumn<double>("zoom");
        QTest::addColumn<bool>("right"); // the side of the sensor the label is put on
        QTest::addColumn<bool>("down");

        QTest::newRow("level board, mirrored view") << 0.0 << false << 1.0 << true << true;
        QTest::newRow("board at 90, mirrored view, zoomed") << 90.0 << false << 4.0 << false << true;
        QTest::newRow("board at 180, turned view") << 180.0 << true << 1.0 << true << false;
        QTest::newRow("board at 270, turned view, zoomed") << 270.0 << true << 4.0 << false << false;
        QTest::newRow("board at 270, turned view, zoomed out") << 270.0 << true << 0.25 << true << true;
    }

    // A faulty sensor's label on screen, whatever its board's turn, the
    // view's turn or mirror and its zoom: upright and unmirrored, at its own
    // size in pixels, at least a line of its font high, on the side of the
    // sensor it was given, and painted there as red text on white.
    void labelOnScreen()
    {
        QFETCH(double, boardAngle);
        QFETCH(bool, turned);
        QFETCH(double, zoom);
        QFETCH(bool, right);
        QFETCH(bool, down);

        CPcbInfo pcb;
        pcb.SetSize(10.0, 80.0, 6.0);
        pcb.SetPlacement(1);
        pcb.SetAngle(boardAngle);
        pcb.SetLeds({Sensor(0)});
        QGraphicsScene scene;
        auto *pBoard = new CPcbBoard(&pcb, 1.0, nullptr);
        scene.addItem(pBoard);
        CIRSensor *pSensor = pBoard->GetSensors().first();
        pSensor->SetLabelSide(right, down);
        QVERIFY(pSensor->SetState(QStringLiteral("SENSOR_ERROR"), true));
        CGraphicsTextItem *pLabel = pSensor->Label();
        QCOMPARE(pLabel->Text(), QStringLiteral("LED0"));

        QGraphicsView view(&scene);
        view.resize(320, 240);
        QTransform orientation;
        orientation.rotate(180, turned ? Qt::ZAxis : Qt::XAxis);
        view.setTransform(orientation * QTransform::fromScale(zoom, zoom));
        view.centerOn(pSensor);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        const QTransform t = pLabel->deviceTransform(view.viewportTransform());
        QVERIFY(qFuzzyIsNull(t.m12()) && qFuzzyIsNull(t.m21()));
        QVERIFY(t.m11() > 0 && t.m22() > 0 && t.determinant() > 0);
        const QRectF rcBox = t.mapRect(pLabel->boundingRect());
        QCOMPARE(rcBox.size(), pLabel->boundingRect().size());
        QVERIFY(rcBox.height() >= QFontMetrics(pLabel->TextFont()).height());
        QVERIFY(rcBox.width() >= QFontMetrics(pLabel->TextFont()).horizontalAdvance(pLabel->Text()));
        const QPointF ptSensor = view.viewportTransform().map(pSensor->scenePos());
        QVERIFY(right ? rcBox.left() > ptSensor.x() : rcBox.right() < ptSensor.x());
        QVERIFY(down ? rcBox.top() > ptSensor.y() : rcBox.bottom() < ptSensor.y());

        const QImage image = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect rcPixels = rcBox.toAlignedRect();
        QVERIFY(view.viewport()->rect().contains(rcPixels));
        QVERIFY(PanelLooks::CountColour(image, rcPixels, Qt::red) > 0);
        QVERIFY(PanelLooks::CountColour(image, rcPixels, Qt::white) > rcPixels.width() * rcPixels.height() / 4);
    }

    // A label takes no input: a click, a double click, a hover or a key on
    // it leaves it as it was (it has no text control to hand them to) and it
    // never grabs the mouse; its tool tip still names the sensor.
    void labelTakesNoInput()
    {
        CPcbInfo pcb;
        pcb.SetSize(10.0, 80.0, 6.0);
        pcb.SetPlacement(1);
        pcb.SetLeds({Sensor(0)});
        QGraphicsScene scene;
        auto *pBoard = new CPcbBoard(&pcb, 1.0, nullptr);
        scene.addItem(pBoard);
        CIRSensor *pSensor = pBoard->GetSensors().first();
        QVERIFY(pSensor->SetState(QStringLiteral("SENSOR_ERROR"), true));
        CGraphicsTextItem *pLabel = pSensor->Label();
        QVERIFY(pSensor->LabelShown());
        QCOMPARE(pLabel->acceptedMouseButtons(), Qt::NoButton);
        QVERIFY(!pLabel->acceptHoverEvents());

        QGraphicsView view(&scene);
        view.resize(320, 240);
        view.setTransform(QTransform::fromScale(4.0, 4.0));
        view.centerOn(pSensor);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QRect rcLabel = pLabel->deviceTransform(view.viewportTransform()).mapRect(pLabel->boundingRect()).toAlignedRect();
        QVERIFY(view.viewport()->rect().contains(rcLabel));
        const QPoint ptLabel = rcLabel.center();
        QCOMPARE(view.itemAt(ptLabel), pLabel);
        QTest::mouseMove(view.viewport(), ptLabel);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, ptLabel);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, ptLabel);
        QTest::mousePress(view.viewport(), Qt::RightButton, Qt::NoModifier, ptLabel);
        QVERIFY(scene.mouseGrabberItem() != pLabel);
        QTest::mouseRelease(view.viewport(), Qt::RightButton, Qt::NoModifier, ptLabel);
        QTest::keyClick(view.viewport(), Qt::Key_A);
        QCOMPARE(pLabel->toolTip(), pSensor->Info().GetID());
        QVERIFY(pLabel->isVisible());
    }
};

STATION_TEST_MAIN(TestPanelItems)
#include "tst_panelitems.moc"
