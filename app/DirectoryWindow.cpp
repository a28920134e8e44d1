#include "DirectoryWindow.h"

#include "Favicons.h"
#include "MyStations.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace orvex {

namespace {

enum Column { ColName, ColCountry, ColFormat, ColTags, ColVotes };
constexpr int kRowRole = Qt::UserRole;
constexpr int kIconSize = 20;

QPushButton* Button(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    // Enter belongs to the search field and the list, not to a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

DirectoryWindow::DirectoryWindow(DirectoryClient& client, MyStations& kept, QWidget* parent)
    : QDialog(parent), m_client(client), m_kept(kept)
{
    setWindowTitle(QStringLiteral("Diret\u00f3rio de esta\u00e7\u00f5es"));
    resize(720, 460);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    SearchField = new QLineEdit(this);
    SearchField->setPlaceholderText(QStringLiteral("Procurar pelo nome da esta\u00e7\u00e3o"));
    SearchField->setClearButtonEnabled(true);
    CountryBox = new QComboBox(this);
    TagBox = new QComboBox(this);
    OrderBox = new QComboBox(this);
    CountryBox->addItem(QStringLiteral("Todos os pa\u00edses"), QString());
    // The user's own country first, so that the first look plays something.
    const QLocale::Territory territory = QLocale::system().territory();
    const QString own = territory == QLocale::AnyTerritory ? QString() : QLocale::territoryToCode(territory);
    if (!own.isEmpty()) {
        CountryBox->addItem(QLocale::territoryToString(QLocale::system().territory()), own);
        CountryBox->setCurrentIndex(1);
    }
    TagBox->addItem(QStringLiteral("Todas as etiquetas"), QString());
    OrderBox->addItem(QStringLiteral("Mais votadas"), QStringLiteral("votes"));
    OrderBox->addItem(QStringLiteral("Mais tocadas"), QStringLiteral("clickcount"));
    OrderBox->addItem(QStringLiteral("Nome"), QStringLiteral("name"));
    OrderBox->addItem(QStringLiteral("Taxa de bits"), QStringLiteral("bitrate"));
    top->addWidget(SearchField, 3);
    top->addWidget(CountryBox, 1);
    top->addWidget(TagBox, 1);
    top->addWidget(OrderBox, 1);
    layout->addLayout(top);

    Results = new QTreeWidget(this);
    Results->setHeaderLabels({QStringLiteral("Nome"), QStringLiteral("Pa\u00eds"), QStringLiteral("Formato"),
                              QStringLiteral("Etiquetas"), QStringLiteral("Votos")});
    Results->setRootIsDecorated(false);
    Results->setUniformRowHeights(true);
    Results->setIconSize(QSize(kIconSize, kIconSize));
    Results->setSelectionMode(QAbstractItemView::SingleSelection);
    Results->header()->resizeSection(ColName, 260);
    Results->installEventFilter(this);
    layout->addWidget(Results, 1);

    auto* bottom = new QHBoxLayout;
    StatusLine = new QLabel(this);
    StatusLine->setTextFormat(Qt::PlainText);
    StatusLine->setWordWrap(true);
    MoreButton = Button(QStringLiteral("Mais"), this);
    MoreButton->setEnabled(false);
    QPushButton* play = Button(QStringLiteral("Tocar"), this);
    QPushButton* keep = Button(QStringLiteral("Guardar em Minhas esta\u00e7\u00f5es"), this);
    bottom->addWidget(StatusLine, 1);
    bottom->addWidget(MoreButton);
    bottom->addWidget(play);
    bottom->addWidget(keep);
    layout->addLayout(bottom);

    Pictures = new Favicons(QSize(kIconSize, kIconSize), QString(), this);
    connect(Pictures, &Favicons::Ready, this, [this](const QString& url, const QIcon& icon) {
        for (int row = 0; row < Results->topLevelItemCount(); ++row) {
            QTreeWidgetItem* item = Results->topLevelItem(row);
            if (m_shown[item->data(ColName, kRowRole).toInt()].favicon == url)
                item->setIcon(ColName, icon);
        }
    });

    m_typing.setSingleShot(true);
    m_typing.setInterval(kTypingWaitMs);
    connect(&m_typing, &QTimer::timeout, this, &DirectoryWindow::SearchNow);
    connect(SearchField, &QLineEdit::textChanged, this, [this] { m_typing.start(); });
    connect(SearchField, &QLineEdit::returnPressed, this, &DirectoryWindow::SearchNow);
    SearchField->installEventFilter(this);
    for (QComboBox* box : {CountryBox, TagBox, OrderBox})
        connect(box, &QComboBox::activated, this, &DirectoryWindow::SearchNow);
    connect(MoreButton, &QPushButton::clicked, this, &DirectoryWindow::More);
    connect(play, &QPushButton::clicked, this, &DirectoryWindow::PlaySelected);
    connect(keep, &QPushButton::clicked, this, &DirectoryWindow::KeepSelected);
    connect(Results, &QTreeWidget::itemActivated, this, &DirectoryWindow::PlaySelected);
    connect(&m_kept, &MyStations::Changed, this, &DirectoryWindow::MarkKept);
}

void DirectoryWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    SearchField->setFocus();
    if (!m_choicesAsked)
        LoadChoices();
    if (!m_searched)
        SearchNow();
}

bool DirectoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* press = static_cast<QKeyEvent*>(event);
    const int key = press->key();
    if (key == Qt::Key_D && press->modifiers() == Qt::ControlModifier) {
        KeepSelected();
        return true;
    }
    if (watched == SearchField && key == Qt::Key_Down && Results->topLevelItemCount() > 0) {
        Results->setFocus();
        if (!Results->currentItem())
            Results->setCurrentItem(Results->topLevelItem(0));
        return true;
    }
    if (watched == Results && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        PlaySelected();
        return true;
    }
    if (watched == Results && key == Qt::Key_Delete) {
        ForgetSelected();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

DirectorySearch DirectoryWindow::CurrentSearch() const
{
    DirectorySearch search;
    search.name = SearchField->text().trimmed();
    search.countryCode = CountryBox->currentData().toString();
    search.tag = TagBox->currentData().toString();
    search.order = OrderBox->currentData().toString();
    // Names read best from A; the others from the most.
    search.reverse = search.order != QLatin1String("name");
    return search;
}

void DirectoryWindow::SearchNow()
{
    m_typing.stop();
    Search(0);
}

void DirectoryWindow::More()
{
    Search(MoreButton->property("offset").toInt());
}

void DirectoryWindow::Search(int offset)
{
    m_searched = true;
    DirectorySearch search = CurrentSearch();
    search.offset = offset;
    const int serial = ++m_serial;
    MoreButton->setEnabled(false);
    StatusLine->setText(QStringLiteral("Procurando\u2026"));
    QPointer<DirectoryWindow> self(this);
    m_client.Search(search, [self, serial, search](const StationParse& page) {
        // Only the newest search shows: an older answer that comes late is dropped.
        if (!self || serial != self->m_serial)
            return;
        self->MoreButton->setProperty("offset", search.offset + search.limit);
        self->Show(page, search.offset > 0);
        self->MoreButton->setEnabled(page.error.isEmpty() &&
                                     page.stations.size() + page.skipped >= search.limit);
    });
}

void DirectoryWindow::Show(const StationParse& page, bool append)
{
    if (!page.error.isEmpty()) {
        StatusLine->setText(page.error);
        return;
    }
    Results->setUpdatesEnabled(false);
    if (!append) {
        Results->clear();
        m_shown.clear();
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(page.stations.size());
    for (const DirectoryStation& station : page.stations) {
        auto* item = new QTreeWidgetItem;
        item->setData(ColName, kRowRole, static_cast<int>(m_shown.size()));
        item->setText(ColName, station.name);
        item->setText(ColCountry, station.countryCode);
        QString format = station.hls ? QStringLiteral("HLS") : station.codec;
        if (station.bitrate > 0)
            format += QStringLiteral(" %1 kbit/s").arg(station.bitrate);
        item->setText(ColFormat, format.trimmed());
        item->setText(ColTags, station.tags.join(QStringLiteral(", ")));
        item->setText(ColVotes, QString::number(station.votes));
        item->setTextAlignment(ColVotes, Qt::AlignRight | Qt::AlignVCenter);
        const QIcon icon = Pictures->Icon(station.favicon);
        item->setIcon(ColName, icon.isNull() ? Pictures->Placeholder() : icon);
        items << item;
        m_shown << station;
    }
    Results->addTopLevelItems(items);
    MarkKept();
    Results->setUpdatesEnabled(true);
    QString status = m_shown.isEmpty() ? QStringLiteral("Nenhuma esta\u00e7\u00e3o encontrada.")
                                       : QStringLiteral("%1 esta\u00e7\u00f5es").arg(m_shown.size());
    if (page.skipped > 0)
        status += QStringLiteral(" (%1 entradas ileg\u00edveis omitidas)").arg(page.skipped);
    StatusLine->setText(status);
    emit ResultsShown(static_cast<int>(items.size()));
}

void DirectoryWindow::MarkKept()
{
    for (int row = 0; row < Results->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = Results->topLevelItem(row);
        const bool kept = m_kept.Contains(m_shown[item->data(ColName, kRowRole).toInt()].uuid);
        if (item->font(ColName).bold() != kept) {
            QFont font = item->font(ColName);
            font.setBold(kept);
            item->setFont(ColName, font);
        }
    }
}

void DirectoryWindow::LoadChoices()
{
    m_choicesAsked = true;
    QPointer<DirectoryWindow> self(this);
    m_client.Countries([self](const QList<DirectoryChoice>& choices, const QString&) {
        if (!self)
            return;
        const QString chosen = self->CountryBox->currentData().toString();
        const QSignalBlocker blocker(self->CountryBox);
        for (const DirectoryChoice& choice : choices)
            if (self->CountryBox->findData(choice.value) < 0)
                self->CountryBox->addItem(QStringLiteral("%1 (%2)").arg(choice.name, QString::number(choice.stationCount)),
                                          choice.value);
        self->CountryBox->setCurrentIndex(std::max(0, self->CountryBox->findData(chosen)));
    });
    m_client.Tags([self](const QList<DirectoryChoice>& choices, const QString&) {
        if (!self)
            return;
        const QSignalBlocker blocker(self->TagBox);
        for (const DirectoryChoice& choice : choices)
            self->TagBox->addItem(QStringLiteral("%1 (%2)").arg(choice.name, QString::number(choice.stationCount)), choice.value);
    });
}

const DirectoryStation* DirectoryWindow::Selected() const
{
    const QTreeWidgetItem* item = Results->currentItem();
    return item ? &m_shown[item->data(ColName, kRowRole).toInt()] : nullptr;
}

void DirectoryWindow::PlaySelected()
{
    const DirectoryStation* selected = Selected();
    if (!selected)
        return;
    const DirectoryStation station = *selected;
    QPointer<DirectoryWindow> self(this);
    // The directory counts the play and names the address it knows now;
    // when it cannot, the address of the search plays.
    m_client.Click(station.uuid, [self, station](const QString& address, const QString&) {
        if (self)
            emit self->PlayRequested(station.name, address.isEmpty() ? station.PlayAddress() : address);
    });
}

void DirectoryWindow::KeepSelected()
{
    if (const DirectoryStation* station = Selected())
        m_kept.AddFromDirectory(*station);
}

void DirectoryWindow::ForgetSelected()
{
    if (const DirectoryStation* station = Selected())
        m_kept.Remove(m_kept.IndexOf(station->uuid));
}

} // namespace orvex
