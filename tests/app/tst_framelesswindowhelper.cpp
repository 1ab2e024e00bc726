#include "app/framelesswindowhelper.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

// A widget class the helper does not know by name.
class Gauge : public QWidget
{
    Q_OBJECT
public:
    Gauge(Qt::FocusPolicy focus, QWidget *parent)
        : QWidget(parent)
    {
        setFocusPolicy(focus);
    }
};

// Judged by its own class name, not as a QLabel.
class Caption : public QLabel
{
    Q_OBJECT
public:
    explicit Caption(QWidget *parent)
        : QLabel(parent)
    {
        setFocusPolicy(Qt::StrongFocus);
    }
};

// A frameless window with one child of each kind, side by side.
class Window : public QWidget
{
    Q_OBJECT
public:
    Window()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setGeometry(100, 100, 300, 200);
        int x = 0;
        const auto place = [this, &x](QWidget *child, const char *name) {
            child->setObjectName(name);
            child->setGeometry(x, 0, 30, 100);
            x += 30;
        };
        place(new QLabel("label", this), "label");
        place(new QPushButton("button", this), "button");
        place(new Gauge(Qt::NoFocus, this), "quiet");
        place(new Gauge(Qt::StrongFocus, this), "focusable");
        place(new Caption(this), "caption");
        auto *panel = new Gauge(Qt::StrongFocus, this);
        place(panel, "panel");
        auto *panelButton = new QPushButton(panel);
        panelButton->setObjectName("panelButton");
        panelButton->setGeometry(0, 50, 30, 50);
        show();
    }

    // Top-left corner of a child (or of the window itself), plus a little.
    QPoint spot(const QString &name) const
    {
        const auto *child = findChild<QWidget *>(name);
        return (child ? child->mapTo(this, QPoint()) : QPoint(0, 150)) + QPoint(2, 2);
    }

    // Sends a mouse event to the window as it arrives there: at a local
    // position, with the global position the screen reports for it.
    void mouse(QEvent::Type type, const QPointF &at, Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, at + QPointF(mapToGlobal(QPoint())), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(this, &event);
    }

    int pressesSeen = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++pressesSeen; }
};

QList<QWidget *> named(const Window &window, const QStringList &names)
{
    QList<QWidget *> widgets;
    for (const QString &name : names)
        widgets << window.findChild<QWidget *>(name);
    return widgets;
}

} // namespace

class TestFramelessWindowHelper : public QObject
{
    Q_OBJECT
private slots:
    void pressStartsDragOnPassivePartsOnly_data();
    void pressStartsDragOnPassivePartsOnly();
    void dragPlacesTheWindow_data();
    void dragPlacesTheWindow();
    void destroyedWidgetsAreForgotten();
};

void TestFramelessWindowHelper::pressStartsDragOnPassivePartsOnly_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QStringList>("draggables");
    QTest::addColumn<QStringList>("containers");
    QTest::addColumn<bool>("drags");

    const QStringList none;
    QTest::newRow("window surface") << "" << Qt::LeftButton << none << none << true;
    QTest::newRow("label") << "label" << Qt::LeftButton << none << none << true;
    QTest::newRow("right button") << "label" << Qt::RightButton << none << none << false;
    QTest::newRow("push button") << "button" << Qt::LeftButton << none << none << false;
    QTest::newRow("unknown class, no focus") << "quiet" << Qt::LeftButton << none << none << true;
    QTest::newRow("unknown class, focus") << "focusable" << Qt::LeftButton << none << none << false;
    QTest::newRow("label subclass, focus") << "caption" << Qt::LeftButton << none << none << false;
    QTest::newRow("button made draggable")
        << "button" << Qt::LeftButton << QStringList{"button"} << none << true;
    QTest::newRow("container's own area")
        << "panel" << Qt::LeftButton << none << QStringList{"panel"} << true;
    QTest::newRow("button in a container")
        << "panelButton" << Qt::LeftButton << none << QStringList{"panel"} << false;
}

void TestFramelessWindowHelper::pressStartsDragOnPassivePartsOnly()
{
    QFETCH(QString, target);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QStringList, draggables);
    QFETCH(QStringList, containers);
    QFETCH(bool, drags);
    FramelessWindowHelper helper;
    Window window;
    helper.addWidget(&window);
    helper.setDraggableWidgets(named(window, draggables));
    helper.setContainerWidgets(named(window, containers));

    const QPoint start = window.pos();
    const QPoint at = window.spot(target);
    window.mouse(QEvent::MouseButtonPress, at, button);
    // The point under the cursor stays under the cursor.
    window.mouse(QEvent::MouseMove, at + QPoint(30, 20), button);
    QCOMPARE(window.pos(), drags ? start + QPoint(30, 20) : start);
    QCOMPARE(window.pressesSeen, drags ? 0 : 1);
}

void TestFramelessWindowHelper::dragPlacesTheWindow_data()
{
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QPoint>("travel");
    QTest::addColumn<QPoint>("expected");

    // The window starts at (100, 100); the pointer travels this many pixels
    // of a screen at the scale.
    const QRect screen(QPoint(0, 0), QPoint(999, 799));
    QTest::newRow("inside") << screen << 1.0 << QPoint(150, 200) << QPoint(250, 300);
    QTest::newRow("too far right and down")
        << screen << 1.0 << QPoint(800, 600) << QPoint(699, 599);
    QTest::newRow("invalid bounds")
        << QRect(QPoint(10, 10), QPoint(0, 0)) << 1.0 << QPoint(800, 600) << QPoint(900, 700);
    // Logical travel (30.4, 20.8), (30, 20.67), (30.5, 20.5): the window
    // lands on the nearest logical pixel.
    QTest::newRow("screen at 125 %") << QRect() << 1.25 << QPoint(38, 26) << QPoint(130, 121);
    QTest::newRow("screen at 150 %") << QRect() << 1.5 << QPoint(45, 31) << QPoint(130, 121);
    QTest::newRow("screen at 200 %") << QRect() << 2.0 << QPoint(61, 41) << QPoint(131, 121);
}

void TestFramelessWindowHelper::dragPlacesTheWindow()
{
    QFETCH(QRect, bounds);
    QFETCH(qreal, scale);
    QFETCH(QPoint, travel);
    FramelessWindowHelper helper;
    Window window;
    helper.addWidget(&window);
    QCOMPARE(helper.setDragBounds(bounds), bounds.isValid());

    // A scaled screen reports the pointer's pixels as fractional logical
    // positions. The press lands on the label.
    const QPointF at = QPointF(4, 4) / scale;
    window.mouse(QEvent::MouseButtonPress, at);
    window.mouse(QEvent::MouseMove, at + QPointF(travel) / scale);
    QTEST(window.pos(), "expected");
}

// The helper outlives the windows: it must neither touch a destroyed widget
// nor keep it in any list.
void TestFramelessWindowHelper::destroyedWidgetsAreForgotten()
{
    FramelessWindowHelper helper;
    auto window = std::make_unique<Window>();
    Window survivor;
    QWidget *const stale = window.get();
    // Kept as a number: once the window is gone the pointer is only compared.
    const volatile quintptr staleAddress = reinterpret_cast<quintptr>(stale);
    helper.addWidget(stale);
    helper.addWidget(&survivor);
    helper.setDraggableWidgets(named(*window, {"button"}));
    helper.setContainerWidgets({stale});
    window->mouse(QEvent::MouseButtonPress, window->spot("label"));

    window.reset();
    QVERIFY(!helper.removeWidget(reinterpret_cast<QWidget *>(staleAddress)));
    const QPoint start = survivor.pos();
    survivor.mouse(QEvent::MouseMove, QPoint(50, 50));
    QCOMPARE(survivor.pos(), start);
    survivor.mouse(QEvent::MouseButtonPress, survivor.spot("label"));
    survivor.mouse(QEvent::MouseMove, survivor.spot("label") + QPoint(5, 5));
    QCOMPARE(survivor.pos(), start + QPoint(5, 5));
}

QTEST_MAIN(TestFramelessWindowHelper)
#include "tst_framelesswindowhelper.moc"
