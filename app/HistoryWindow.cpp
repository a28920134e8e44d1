#include "HistoryWindow.h"

#include "Application.h"
#include "History.h"
#include "SongHistory.h"
#include "Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace orvex {

namespace {

enum Column { kTimeColumn, kStationColumn, kTitleColumn, kFileColumn, kColumns };

} // namespace

HistoryWindow::HistoryWindow(SongHistory& history, TfrmOrvex* window)
    : QDialog(window), m_history(history), m_window(window)
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Hist\u00f3rico de m\u00fasicas"));
    resize(640, 400);
    Filter = new QLineEdit(this);
    Filter->setPlaceholderText(QStringLiteral("Filtrar por t\u00edtulo ou esta\u00e7\u00e3o"));
    Filter->setClearButtonEnabled(true);
    Table = new QTableWidget(0, kColumns, this);
    Table->setHorizontalHeaderLabels({QStringLiteral("Hora"), QStringLiteral("Esta\u00e7\u00e3o"),
                                      QStringLiteral("T\u00edtulo"), QStringLiteral("Grava\u00e7\u00e3o")});
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
    Table->setWordWrap(false);

    CopyButton = new QPushButton(QStringLiteral("&Copiar"), this);
    SearchButton = new QPushButton(QStringLiteral("&Buscar na web"), this);
    ListenButton = new QPushButton(QStringLiteral("&Ouvir a esta\u00e7\u00e3o"), this);
    FolderButton = new QPushButton(QStringLiteral("Abrir a &pasta"), this);
    ClearButton = new QPushButton(QStringLiteral("&Limpar o hist\u00f3rico"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {CopyButton, SearchButton, ListenButton, FolderButton})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(ClearButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Filter);
    layout->addWidget(Table);
    layout->addLayout(buttons);

    connect(Filter, &QLineEdit::textChanged, this, &HistoryWindow::ApplyFilter);
    connect(Table, &QTableWidget::itemSelectionChanged, this, &HistoryWindow::FollowSelection);
    connect(Table, &QTableWidget::itemActivated, this, &HistoryWindow::ListenSelected);
    connect(CopyButton, &QPushButton::clicked, this, &HistoryWindow::CopySelected);
    connect(SearchButton, &QPushButton::clicked, this, &HistoryWindow::SearchSelected);
    connect(ListenButton, &QPushButton::clicked, this, &HistoryWindow::ListenSelected);
    connect(FolderButton, &QPushButton::clicked, this, &HistoryWindow::OpenSelectedFolder);
    connect(ClearButton, &QPushButton::clicked, this, &HistoryWindow::ClearAll);
    connect(&m_history, &SongHistory::Changed, this, &HistoryWindow::Fill);
    Fill();
}

void HistoryWindow::Fill()
{
    const QList<HistoryEntry>& entries = m_history.Entries();
    Table->setRowCount(int(entries.size()));
    for (int row = 0; row < entries.size(); ++row) {
        const HistoryEntry& entry = entries[row];
        // Items show their text as it is: a title with markup stays text.
        const QString when = entry.time.date() == QDate::currentDate() ? entry.time.toString(QStringLiteral("HH:mm:ss"))
                                                                       : entry.time.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        const QString texts[kColumns] = {when, entry.station, entry.title, QFileInfo(entry.file).fileName()};
        for (int column = 0; column < kColumns; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(column == kFileColumn ? entry.file : texts[column]);
            Table->setItem(row, column, item);
        }
    }
    Table->resizeColumnToContents(kTimeColumn);
    ApplyFilter();
}

void HistoryWindow::ApplyFilter()
{
    const QString wanted = Filter->text().trimmed();
    const QList<HistoryEntry>& entries = m_history.Entries();
    for (int row = 0; row < Table->rowCount() && row < entries.size(); ++row) {
        const bool shown = wanted.isEmpty() || entries[row].title.contains(wanted, Qt::CaseInsensitive) ||
                           entries[row].station.contains(wanted, Qt::CaseInsensitive);
        Table->setRowHidden(row, !shown);
    }
    FollowSelection();
}

int HistoryWindow::ShownRows() const
{
    int shown = 0;
    for (int row = 0; row < Table->rowCount(); ++row)
        shown += Table->isRowHidden(row) ? 0 : 1;
    return shown;
}

QList<int> HistoryWindow::Selected() const
{
    QList<int> rows;
    for (const QModelIndex& index : Table->selectionModel()->selectedRows())
        if (!Table->isRowHidden(index.row()) && index.row() < m_history.Entries().size())
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HistoryWindow::FollowSelection()
{
    const QList<int> rows = Selected();
    CopyButton->setEnabled(!rows.isEmpty());
    SearchButton->setEnabled(rows.size() == 1);
    ListenButton->setEnabled(rows.size() == 1 && !m_history.Entries()[rows.first()].address.isEmpty());
    FolderButton->setEnabled(rows.size() == 1 && !m_history.Entries()[rows.first()].file.isEmpty());
    ClearButton->setEnabled(!m_history.Entries().isEmpty());
}

void HistoryWindow::CopySelected()
{
    QStringList titles;
    for (int row : Selected())
        titles << m_history.Entries()[row].title;
    if (!titles.isEmpty())
        QApplication::clipboard()->setText(titles.join(QLatin1Char('\n')));
}

void HistoryWindow::SearchSelected()
{
    const QList<int> rows = Selected();
    if (rows.size() != 1)
        return;
    // The address is percent-encoded whole: no blank or quote reaches the command line.
    const QUrl address(RadioHistory::SearchAddress(m_history.Entries()[rows.first()].title));
    TfrmOrvex::RunCommandLine(QStringLiteral("xdg-open ") + QString::fromLatin1(address.toEncoded()), 1);
}

void HistoryWindow::ListenSelected()
{
    const QList<int> rows = Selected();
    if (rows.size() != 1)
        return;
    const HistoryEntry entry = m_history.Entries()[rows.first()];
    if (entry.address.isEmpty())
        return;
    m_window->rdButtonSERVERAudio->setChecked(true);
    Guarded([&] { m_window->PlayStation(entry.station, entry.address); });
}

void HistoryWindow::OpenSelectedFolder()
{
    const QList<int> rows = Selected();
    if (rows.size() != 1 || m_history.Entries()[rows.first()].file.isEmpty())
        return;
    const QString folder = QFileInfo(m_history.Entries()[rows.first()].file).absolutePath();
    TfrmOrvex::RunCommandLine(QStringLiteral("xdg-open ") + QString::fromLatin1(QUrl::fromLocalFile(folder).toEncoded()), 1);
}

void HistoryWindow::ClearAll()
{
    const QString question = QStringLiteral("Apagar todo o hist\u00f3rico de m\u00fasicas?");
    const bool yes = RadioHistory::ConfirmHook
                         ? RadioHistory::ConfirmHook(question)
                         : QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
    if (yes)
        m_history.Clear();
}

} // namespace orvex
