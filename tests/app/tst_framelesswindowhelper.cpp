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

// A frameless window at (100, 100) with a label, a button, widgets of a class
// the helper does not know, with and without focus, and a panel with a button.
class Window : public QWidget
{
public:
    Window()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setGeometry(100, 100, 300, 200);
        int x = 0;
        const auto place = [this, &x](QWidget *child, const char *name,
                                      Qt::FocusPolicy focus = Qt::NoFocus) {
            child->setObjectName(name);
            child->setGeometry(x, 0, 30, 100);
            child->setFocusPolicy(focus);
            x += 30;
        };
        place(new QLabel("label", this), "label");
        place(new QPushButton("button", this), "button", Qt::StrongFocus);
        place(new Gauge(this), "quiet");
        place(new Gauge(this), "focusable", Qt::StrongFocus);
        auto *panel = new Gauge(this);
        place(panel, "panel", Qt::StrongFocus);
        auto *panelButton = new QPushButton(panel);
        panelButton->setObjectName("panelButton");
        panelButton->setGeometry(0, 50, 30, 50);
        show();
    }

    QList<QWidget *> named(const QStringList &names) const
    {
        QList<QWidget *> widgets;
        for (const QString &name : names)
            widgets << findChild<QWidget *>(name);
        return widgets;
    }

    // A mouse event as it arrives: at a local position, with the global
    // position the screen reports for it.
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
    QTest::addColumn<QStringList>("draggables");
    QTest::addColumn<QStringList>("containers");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QPoint>("travel"); // in the screen's pixels
    QTest::addColumn<QPoint>("expected");

    const QStringList none;
    const QPoint still(100, 100);
    const auto row = [&](const char *name, const QString &target, const QPoint &expected,
                         Qt::MouseButton button = Qt::LeftButton,
                         const QStringList &draggables = {}, const QStringList &containers = {},
                         qreal scale = 1, const QPoint &travel = QPoint(30, 20)) {
        QTest::newRow(name) << target << button << draggables << containers << scale << travel
                            << expected;
    };
    row("window surface", "", QPoint(130, 120));
    row("label", "label", QPoint(130, 120));
    row("right button", "label", still, Qt::RightButton);
    row("push button", "button", still);
    row("unknown class, no focus", "quiet", QPoint(130, 120));
    row("unknown class, focus", "focusable", still);
    row("button made draggable", "button", QPoint(130, 120), Qt::LeftButton, {"button"});
    row("container's own area", "panel", QPoint(130, 120), Qt::LeftButton, none, {"panel"});
    row("button in a container", "panelButton", still, Qt::LeftButton, none, {"panel"});
    // Logical travel (30.4, 20.8), (30, 20.67), (30.5, 20.5): the window
    // lands on the nearest logical pixel.
    const Qt::MouseButton left = Qt::LeftButton;
    row("screen at 125 %", "label", QPoint(130, 121), left, none, none, 1.25, QPoint(38, 26));
    row("screen at 150 %", "label", QPoint(130, 121), left, none, none, 1.5, QPoint(45, 31));
    row("screen at 200 %", "label", QPoint(131, 121), left, none, none, 2.0, QPoint(61, 41));
}

void TestFramelessWindowHelper::drag()
{
    QFETCH(QString, target);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QStringList, draggables);
    QFETCH(QStringList, containers);
    QFETCH(qreal, scale);
    QFETCH(QPoint, travel);
    FramelessWindowHelper helper;
    Window window;
    helper.addWidget(&window);
    helper.setDraggableWidgets(window.named(draggables));
    helper.setContainerWidgets(window.named(containers));

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
    helper.setDraggableWidgets(window->named({"button"}));
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
