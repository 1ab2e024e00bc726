#include "framelesswindowhelper.h"

#include <QByteArray>
#include <QMouseEvent>
#include <QSet>
#include <QWidget>

#include <algorithm>

namespace {

// Classes judged by name alone; any other class is passive exactly when it
// cannot take keyboard focus.
const QSet<QByteArray> &passiveClasses()
{
    static const QSet<QByteArray> names{"QLabel",    "QFrame",    "QWidget",
                                        "QGroupBox", "QSplitter", "RX_Keypad"};
    return names;
}

const QSet<QByteArray> &interactiveClasses()
{
    static const QSet<QByteArray> names{
        "QPushButton",  "QToolButton",         "QCheckBox",  "QRadioButton", "QLineEdit",
        "QTextEdit",    "QPlainTextEdit",      "QComboBox",  "QSpinBox",     "QDoubleSpinBox",
        "QSlider",      "QProgressBar",        "QTabWidget", "QListWidget",  "QTreeWidget",
        "QTableWidget", "CustomVerticalSlider"};
    return names;
}

// Compares addresses only: the object may be in the middle of its destruction.
void removeObject(QList<QWidget *> &list, const QObject *object)
{
    list.erase(std::remove_if(list.begin(), list.end(),
                              [object](const QWidget *widget) { return widget == object; }),
               list.end());
}

} // namespace

FramelessWindowHelper::FramelessWindowHelper(QObject *parent)
    : QObject(parent)
{}

FramelessWindowHelper::~FramelessWindowHelper()
{
    // Destroyed widgets have already been forgotten, so every one left is alive.
    for (QWidget *widget : qAsConst(m_widgets))
        widget->removeEventFilter(this);
}

FramelessWindowHelper *FramelessWindowHelper::instance()
{
    static FramelessWindowHelper helper;
    return &helper;
}

bool FramelessWindowHelper::addWidget(QWidget *widget)
{
    if (!widget || m_widgets.contains(widget))
        return false;
    widget->installEventFilter(this);
    m_widgets.append(widget);
    track({widget});
    return true;
}

bool FramelessWindowHelper::removeWidget(QWidget *widget)
{
    if (!widget || !m_widgets.contains(widget))
        return false;
    widget->removeEventFilter(this);
    m_widgets.removeOne(widget);
    return true;
}

void FramelessWindowHelper::setDraggableWidgets(const QList<QWidget *> &widgets)
{
    m_draggableWidgets = widgets;
    track(widgets);
}

void FramelessWindowHelper::setContainerWidgets(const QList<QWidget *> &widgets)
{
    m_containerWidgets = widgets;
    track(widgets);
}

bool FramelessWindowHelper::setDragBounds(const QRect &bounds)
{
    m_dragBounds = bounds;
    m_hasDragBounds = bounds.isValid();
    return m_hasDragBounds;
}

bool FramelessWindowHelper::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !m_widgets.contains(widget))
        return QObject::eventFilter(watched, event);

    const bool draggingThis = m_isDragging && m_dragWidget == widget;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && canStartDrag(widget, mouse->pos())) {
            m_isDragging = true;
            m_dragWidget = widget;
            m_dragOffset = mouse->screenPos() - QPointF(widget->frameGeometry().topLeft());
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (draggingThis && mouse->buttons().testFlag(Qt::LeftButton)) {
            // Rounded once, here: rounding the press and each move apart
            // lets the window lag the pointer by up to a whole logical pixel.
            widget->move(clampedToBounds((mouse->screenPos() - m_dragOffset).toPoint(), widget));
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (draggingThis && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_isDragging = false;
            m_dragWidget = nullptr;
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool FramelessWindowHelper::canStartDrag(QWidget *widget, const QPoint &pos) const
{
    QWidget *child = widget->childAt(pos);
    if (!child || child == widget)
        return true;
    if (child->testAttribute(Qt::WA_TransparentForMouseEvents) ||
        m_draggableWidgets.contains(child) || isPassiveWidget(child))
        return true;
    // An interactive control drags only through what lies on it, or through
    // its own uncovered area when it is a container.
    const QPoint childPos = child->mapFrom(widget, pos);
    if (m_containerWidgets.contains(child) || child->childAt(childPos))
        return canStartDrag(child, childPos);
    return false;
}

bool FramelessWindowHelper::isPassiveWidget(QWidget *widget) const
{
    // The exact class name: a subclass is judged by its own name.
    const QByteArray className(widget->metaObject()->className());
    if (passiveClasses().contains(className))
        return true;
    if (interactiveClasses().contains(className))
        return false;
    return widget->focusPolicy() == Qt::NoFocus;
}

// The upper limits come first, so a widget larger than the bounds ends at
// their left or top edge.
QPoint FramelessWindowHelper::clampedToBounds(QPoint position, const QWidget *widget) const
{
    if (!m_hasDragBounds)
        return position;
    position.setX(std::max(std::min(position.x(), m_dragBounds.right() - widget->width()),
                           m_dragBounds.left()));
    position.setY(std::max(std::min(position.y(), m_dragBounds.bottom() - widget->height()),
                           m_dragBounds.top()));
    return position;
}

// Destroyed widgets must leave every list: the helper outlives the windows and
// would otherwise remove its filter from, or match presses against, dead ones.
void FramelessWindowHelper::track(const QList<QWidget *> &widgets)
{
    for (QWidget *widget : widgets) {
        if (widget)
            connect(widget, &QObject::destroyed, this, &FramelessWindowHelper::forget,
                    Qt::UniqueConnection);
    }
}

void FramelessWindowHelper::forget(QObject *object)
{
    removeObject(m_widgets, object);
    removeObject(m_draggableWidgets, object);
    removeObject(m_containerWidgets, object);
    if (m_dragWidget == object) {
        m_dragWidget = nullptr;
        m_isDragging = false;
    }
}
