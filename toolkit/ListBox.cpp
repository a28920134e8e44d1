#include "ListBox.h"

#include <QKeyEvent>
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
