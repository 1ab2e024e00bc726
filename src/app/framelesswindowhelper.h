#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>

class QWidget;

// Lets the user move a frameless top-level widget by pressing the left button
// on a passive part of it (background, frames, labels) and dragging. Presses
// on interactive controls keep their meaning. What is passive is decided per
// press from the class of the widget under the cursor.
class FramelessWindowHelper : public QObject
{
    Q_OBJECT
public:
    explicit FramelessWindowHelper(QObject *parent = nullptr);
    ~FramelessWindowHelper() override;

    // The process-wide helper, destroyed at program exit.
    static FramelessWindowHelper *instance();

    // Makes the widget draggable; false if it is null or registered already.
    bool addWidget(QWidget *widget);
    // False if the widget is null or not registered.
    bool removeWidget(QWidget *widget);
    // Widgets on which a press always starts a drag, whatever their class.
    void setDraggableWidgets(const QList<QWidget *> &widgets);
    // Widgets whose own uncovered area starts a drag and whose children are
    // judged one by one.
    void setContainerWidgets(const QList<QWidget *> &widgets);
    // Keeps dragged widgets inside the rectangle; returns whether it is valid
    // (an invalid one lifts the limit).
    bool setDragBounds(const QRect &bounds);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool canStartDrag(QWidget *widget, const QPoint &pos) const;
    bool isPassiveWidget(QWidget *widget) const;
    QPoint clampedToBounds(QPoint position, const QWidget *widget) const;
    void track(const QList<QWidget *> &widgets);
    void forget(QObject *object);

    QList<QWidget *> m_widgets;
    QList<QWidget *> m_draggableWidgets;
    QList<QWidget *> m_containerWidgets;
    QRect m_dragBounds;
    bool m_hasDragBounds = false;
    bool m_isDragging = false;
    // Logical pixels, with their fraction: on a screen scaled to 125 % or
    // 150 % the pointer's logical position lies between whole pixels.
    QPointF m_dragOffset;
    QWidget *m_dragWidget = nullptr;
};
