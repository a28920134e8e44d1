#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace orvex {

class SongHistory;
class TfrmOrvex;

// "Histórico de músicas": the titles heard, newest first, with their time,
// station and recording; a filter over station and title; the selected
// titles copied, searched on the web, their station played, their
// recording's folder opened; the whole history cleared after a question.
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    HistoryWindow(SongHistory& history, TfrmOrvex* window);

    QLineEdit* Filter = nullptr;
    QTableWidget* Table = nullptr;
    QPushButton* CopyButton = nullptr;
    QPushButton* SearchButton = nullptr;
    QPushButton* ListenButton = nullptr;
    QPushButton* FolderButton = nullptr;
    QPushButton* ClearButton = nullptr;

    // The rows shown, as entries' positions in the history.
    int ShownRows() const;
    void CopySelected();
    void SearchSelected();
    void ListenSelected();
    void OpenSelectedFolder();
    void ClearAll();

private:
    void Fill();
    void ApplyFilter();
    void FollowSelection();
    // The history's positions of the selected, shown rows, top first.
    QList<int> Selected() const;

    SongHistory& m_history;
    TfrmOrvex* m_window;
};

} // namespace orvex
