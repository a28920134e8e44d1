#pragma once

#include <QListWidget>

namespace orvex {

// A list box of text items with one selection: every item is ItemHeight
// pixels high (0: as high as its text needs), a click or a key keeps exactly one item selected, and a
// selection moved by a key (arrows, page keys, a name's first letter) is
// reported apart from one moved by the mouse.
class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    int ItemHeight() const { return m_itemHeight; }
    void SetItemHeight(int height);

signals:
    // A key moved the selection to another item.
    void KeySelect();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    int m_itemHeight = 0;
};

} // namespace orvex
