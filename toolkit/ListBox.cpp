#include "ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace orvex {

namespace {

// Draws items as usual at the list box's own item height.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    explicit FixedHeightDelegate(TListBox* list) : QStyledItemDelegate(list), m_list(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_list->ItemHeight() > 0)
            size.setHeight(m_list->ItemHeight());
        return size;
    }

private:
    TListBox* m_list;
};

} // namespace

TListBox::TListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setItemDelegate(new FixedHeightDelegate(this));
}

void TListBox::SetItemHeight(int height)
{
    m_itemHeight = height;
    doItemsLayout();
}

void TListBox::keyPressEvent(QKeyEvent* event)
{
    // Only a key that moves the selection counts: a modifier pressed for a
    // later click must not turn that click into a second selection.
    const QListWidgetItem* before = currentItem();
    QListWidget::keyPressEvent(event);
    if (currentItem() != before && currentItem())
        emit KeySelect();
}

void TListBox::BeginGesture(const QMouseEvent* event)
{
    // Only the first button down starts a gesture; others join it.
    if (m_mouseDown)
        return;
    m_mouseDown = true;
    m_pressedOnItem = event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr;
    m_currentAtPress = currentIndex();
}

void TListBox::mousePressEvent(QMouseEvent* event)
{
    BeginGesture(event);
    QListWidget::mousePressEvent(event);
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like the first.
    BeginGesture(event);
    QListWidget::mouseDoubleClickEvent(event);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (!m_mouseDown || event->buttons() != Qt::NoButton)
        return;
    m_mouseDown = false;
    // A press dragged from one item to another leaves the second selected:
    // that is a click on it, although press and release hit different items.
    const bool moved = currentIndex().isValid() && QModelIndex(m_currentAtPress) != currentIndex();
    if ((m_pressedOnItem && currentItem()) || moved)
        emit Click();
}

QItemSelectionModel::SelectionFlags TListBox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    // With one selection, Ctrl does not take the item off: a click always selects.
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (selectionMode() == QAbstractItemView::SingleSelection && (command & QItemSelectionModel::Deselect) &&
        index.isValid())
        return QItemSelectionModel::ClearAndSelect |
               (command & (QItemSelectionModel::Rows | QItemSelectionModel::Columns));
    return command;
}

} // namespace orvex
