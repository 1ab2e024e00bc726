// Dragging the frameless window: presses on passive parts start a drag,
// controls keep their clicks, the window follows the pointer exactly on
// scaled screens, and the helper forgets widgets that are gone.

#include "app/framelesswindowhelper.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

// A widget class the helper does not know by name.
class Gauge : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
};

// A frameless window at (100, 100) with, side by side, a label, a button,
// widgets of a class the helper does not know by name without and with
// focus, and a panel with a button.
class Window : public QWidget
{
public:
    Window()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setGeometry(100, 100, 300, 200);
        const QList<QWidget *> children = {new QLabel(this), new QPushButton(this), new Gauge(this),
                                           new Gauge(this), new Gauge(this)};
        const char *names[] = {"label", "button", "quiet", "focusable", "panel"};
        for (int i = 0; i < children.size(); ++i) {
            children[i]->setObjectName(names[i]);
            children[i]->setGeometry(30 * i, 0, 30, 100);
            children[i]->setFocusPolicy(i == 1 || i >= 3 ? Qt::StrongFocus : Qt::NoFocus);
        }
        auto *panelButton = new QPushButton(children.last());
        panelButton->setObjectName("panelButton");
        panelButton->setGeometry(0, 50, 30, 50);
        show();
    }

    QList<QWidget *> named(const QString &name) const
    {
        return name.isEmpty() ? QList<QWidget *>() : QList<QWidget *>{findChild<QWidget *>(name)};
    }

    // A mouse event at a local position, with the global position the screen reports for it.
    void mouse(QEvent::Type type, const QPointF &at, Qt::MouseButton button = Qt::LeftButton)
    {
        QMouseEvent event(type, at, at + QPointF(mapToGlobal(QPoint())), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                          Qt::NoModifier);
        QApplication::sendEvent(this, &event);
    }
};

} // namespace

class TestFramelessWindowHelper : public QObject
{
    Q_OBJECT
private slots:
    void drag_data();
    void drag();
    void destroyedWidgetsAreForgotten();
};

void TestFramelessWindowHelper::drag_data()
{
    QTest::addColumn<QString>("target"); // a child, or "" for the window's surface
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QString>("draggable");
    QTest::addColumn<QString>("container");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QPoint>("travel"); // in the screen's pixels
    QTest::addColumn<QPoint>("expected");

    const auto row = [](const char *name, const QString &target, bool moves,
                        Qt::MouseButton button = Qt::LeftButton, const QString &draggable = {},
                        const QString &container = {}) {
        QTest::newRow(name) << target << button << draggable << container << 1.0 << QPoint(30, 20)
                            << (moves ? QPoint(130, 120) : QPoint(100, 100));
    };
    row("window surface", "", true);
    row("label", "label", true);
    row("right button", "label", false, Qt::RightButton);
    row("push button", "button", false);
    row("unknown class, no focus", "quiet", true);
    row("unknown class, focus", "focusable", false);
    row("button made draggable", "button", true, Qt::LeftButton, "button");
    row("container's own area", "panel", true, Qt::LeftButton, "", "panel");
    row("button in a container", "panelButton", false, Qt::LeftButton, "", "panel");
    // Logical travel (30.4, 20.8), (30.5, 20.5): the window lands on the
    // nearest logical pixel.
    QTest::newRow("screen at 125 %") << "label" << Qt::LeftButton << ""
                                     << "" << 1.25 << QPoint(38, 26) << QPoint(130, 121);
    QTest::newRow("screen at 200 %") << "label" << Qt::LeftButton << ""
                                     << "" << 2.0 << QPoint(61, 41) << QPoint(131, 121);
}

void TestFramelessWindowHelper::drag()
{
    QFETCH(QString, target);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QString, draggable);
    QFETCH(QString, container);
    QFETCH(qreal, scale);
    QFETCH(QPoint, travel);
    FramelessWindowHelper helper;
    Window window;
    helper.addWidget(&window);
    helper.setDraggableWidgets(window.named(draggable));
    helper.setContainerWidgets(window.named(container));

    // A scaled screen reports the pointer's pixels as fractional logical positions.
    const auto *child = window.findChild<QWidget *>(target);
    const QPointF at =
        QPointF((child ? child->mapTo(&window, QPoint()) : QPoint(0, 150)) + QPoint(4, 4)) / scale;
    window.mouse(QEvent::MouseButtonPress, at, button);
    window.mouse(QEvent::MouseMove, at + QPointF(travel) / scale, button);
    QTEST(window.pos(), "expected");
}

// The helper outlives the windows: it must neither touch a destroyed widget
// nor keep it in any list.
void TestFramelessWindowHelper::destroyedWidgetsAreForgotten()
{
    FramelessWindowHelper helper;
    auto window = std::make_unique<Window>();
    Window survivor;
    // Kept as a number: once the window is gone the pointer is only compared.
    const volatile quintptr stale = reinterpret_cast<quintptr>(window.get());
    helper.addWidget(window.get());
    helper.addWidget(&survivor);
    helper.setDraggableWidgets(window->named("button"));
    helper.setContainerWidgets({window.get()});
    window->mouse(QEvent::MouseButtonPress, QPointF(4, 4));

    window.reset();
    QVERIFY(!helper.removeWidget(reinterpret_cast<QWidget *>(stale)));
    survivor.mouse(QEvent::MouseMove, QPoint(50, 50));
    QCOMPARE(survivor.pos(), QPoint(100, 100));
    survivor.mouse(QEvent::MouseButtonPress, QPoint(4, 4));
    survivor.mouse(QEvent::MouseMove, QPoint(9, 9));
    QCOMPARE(survivor.pos(), QPoint(105, 105));
}

QTEST_MAIN(TestFramelessWindowHelper)
#include "tst_framelesswindowhelper.moc"
