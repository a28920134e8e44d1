#pragma once

#include "DirectoryClient.h"

#include <QDialog>
#include <QList>
#include <QTimer>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

class Favicons;
class MyStations;

// The window that searches the public station directory: a search field
// that searches as the user types, country, tag and order choices, and the
// results, a page at a time. Enter plays the selected station in the main
// window (the window stays, the selection kept), Ctrl+D keeps it in My
// stations, Delete takes it out again, Esc closes. What the directory sends
// shows as plain text.
class DirectoryWindow : public QDialog {
    Q_OBJECT
public:
    DirectoryWindow(DirectoryClient& client, MyStations& kept, QWidget* parent = nullptr);

    QLineEdit* SearchField = nullptr;
    QComboBox* CountryBox = nullptr;
    QComboBox* TagBox = nullptr;
    QComboBox* OrderBox = nullptr;
    QTreeWidget* Results = nullptr;
    QPushButton* MoreButton = nullptr;
    QLabel* StatusLine = nullptr;
    Favicons* Pictures = nullptr;

    // The search the window would make now (page 0).
    DirectorySearch CurrentSearch() const;
    const QList<DirectoryStation>& Shown() const { return m_shown; }
    // The station of the selected row, or null.
    const DirectoryStation* Selected() const;
    // Searches at once (the typing wait skipped); More adds the next page.
    void SearchNow();
    void More();
    void PlaySelected();
    void KeepSelected();
    void ForgetSelected();
    // The wait after the last key before the search goes out.
    static constexpr int kTypingWaitMs = 400;

signals:
    // A result is to play in the main window, under its name.
    void PlayRequested(const QString& name, const QString& address);
    // A page of results is in the list.
    void ResultsShown(int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Search(int offset);
    void Show(const StationParse& page, bool append);
    void LoadChoices();
    void MarkKept();

    DirectoryClient& m_client;
    MyStations& m_kept;
    QTimer m_typing;
    QList<DirectoryStation> m_shown;
    int m_serial = 0; // the newest search; older answers are dropped
    bool m_choicesAsked = false;
    bool m_searched = false;
};

} // namespace orvex
