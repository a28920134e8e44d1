#pragma once

#include <QListWidget>

namespace orvex {

// A list box of text items with one selection: every item is ItemHeight
// pixels high (0: as high as its text needs), a click or a key keeps exactly one item selected, and a
// selection moved by a key (arrows, page keys, a name's first letter) is
// reported apart from one moved by the mouse. A mouse gesture (press, moves,
// release) reports once, on its release: a click on an item, or a press that
// dragged the selection to another item.
class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    int ItemHeight() const { return m_itemHeight; }
    void SetItemHeight(int height);

signals:
    // A key moved the selection to another item.
    void KeySelect();
    // The mouse clicked an item or moved the selection: once per gesture.
    void Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    void BeginGesture(const QMouseEvent* event);

    int m_itemHeight = 0;
    // The mouse gesture under way: whether a button is down, whether the
    // left button came down on an item, and the current item before it.
    bool m_mouseDown = false;
    bool m_pressedOnItem = false;
    QPersistentModelIndex m_currentAtPress;
};

} // namespace orvex
