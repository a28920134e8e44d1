// My stations in the station box, after the eleven, and the station
// directory: its window, its keys and the station box's menu.
#include "Unit1.h"

#include "Ansi.h"
#include "Application.h"
#include "DirectoryClient.h"
#include "DirectoryWindow.h"
#include "MyStations.h"
#include "Stations.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <memory>

namespace orvex {

void TfrmOrvex::CreateKeptStations()
{
    KeptStations = new MyStations(QString(), this);
    Directory = new DirectoryClient(this);
    KeptStations->Load();
    ListKeptStations();
    connect(KeptStations, &MyStations::Changed, this, &TfrmOrvex::ListKeptStations);
    connect(KeptStations, &MyStations::Failed, this,
            [](const QString& message) { Application().MessageBox(message, TMsgDlgType::mtError); });
    // Told once, and after the window is up; the refresh asks the directory
    // in the background.
    QTimer::singleShot(0, this, [this] {
        const QString problem = KeptStations->TakeProblem();
        if (!problem.isEmpty())
            Application().MessageBox(problem, TMsgDlgType::mtWarning);
        KeptStations->Refresh(*Directory);
    });

    auto* find = new QShortcut(QKeySequence(QStringLiteral("Ctrl+F")), this);
    connect(find, &QShortcut::activated, this, [this] {
        if (rdButtonSERVERAudio->isChecked())
            ShowDirectory();
    });
    if (Feed)
        connect(Feed, &StreamFeed::CommandReceived, this, [this](const QString& name) {
            if (name == QLatin1String("directory"))
                ShowDirectory();
        });
    QLineEdit* typed = cmbBoxRadio->lineEdit();
    typed->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(typed, &QWidget::customContextMenuRequested, this, &TfrmOrvex::StationBoxMenu);
}

void TfrmOrvex::ListKeptStations()
{
    // The eleven stay as they are; My stations follow them in both lists.
    const QString text = cmbBoxRadio->currentText();
    const int current = cmbBoxRadio->currentIndex();
    const QSignalBlocker names(cmbBoxRadio);
    const QSignalBlocker addresses(cmbBoxAddressRadio);
    const int eleven = static_cast<int>(kStations.size());
    while (cmbBoxRadio->count() > eleven) {
        cmbBoxRadio->removeItem(eleven);
        cmbBoxAddressRadio->removeItem(eleven);
    }
    for (const KeptStation& station : KeptStations->Stations()) {
        cmbBoxRadio->addItem(station.gone ? station.name + QStringLiteral(" (fora do diret\u00f3rio)") : station.name);
        cmbBoxAddressRadio->addItem(station.address);
    }
    if (current >= 0 && current < eleven)
        return;
    // A kept station that was selected stays selected where it went.
    cmbBoxRadio->setCurrentIndex(current >= 0 ? cmbBoxRadio->findText(text, Qt::MatchExactly) : -1);
    cmbBoxRadio->setEditText(text);
}

void TfrmOrvex::ShowDirectory()
{
    if (!DirectoryView) {
        DirectoryView = new DirectoryWindow(*Directory, *KeptStations, this);
        connect(DirectoryView, &DirectoryWindow::PlayRequested, this,
                [this](const QString& name, const QString& address) { Guarded([&] { PlayStation(name, address); }); });
    }
    DirectoryView->show();
    DirectoryView->raise();
    DirectoryView->activateWindow();
}

void TfrmOrvex::PlayStation(const QString& name, const QString& address)
{
    {
        const QSignalBlocker blocker(cmbBoxRadio);
        int index = -1;
        for (int i = 0; i < cmbBoxAddressRadio->count() && index < 0; ++i)
            if (cmbBoxAddressRadio->itemText(i) == address && cmbBoxRadio->itemText(i) == name)
                index = i;
        cmbBoxRadio->setCurrentIndex(index);
        cmbBoxRadio->setEditText(name);
        cmbBoxAddressRadio->setCurrentIndex(index);
    }
    m_stationShown = name;
    SetStationAddress(address);
    bitBtnSETRemote->click();
}

void TfrmOrvex::SetStationAddress(const QString& address)
{
    // An https address goes into the field whole, as a typed one with its
    // own scheme does: the method's scheme would drop the s.
    if (address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        editAddress->setText(address);
        m_boxAddress = editAddress->text();
        RdButtonHTTPMethod->setChecked(true);
        return;
    }
    // Everything after the scheme's "://"; an address without one loses its
    // first two characters, as the position arithmetic falls out.
    const int p = address.indexOf(QLatin1String("://")) + 1;
    editAddress->setText(address.mid(p + 2));
    m_boxAddress = editAddress->text(); // a station of the box's, not a typed address
    if (address.contains(QLatin1String("http://")))
        RdButtonHTTPMethod->setChecked(true);
    else
        RdButtonMMSMethod->setChecked(true);
}

bool TfrmOrvex::KeepCurrentStation(const QString& name)
{
    const QString address = AnsiToString(StreamParameterValue(RdButtonHTTPMethod->isChecked(), editAddress->text()));
    return KeptStations->Add({QString(), name, address, QString(), QString(), false});
}

void TfrmOrvex::StationBoxMenu(const QPoint& at)
{
    QLineEdit* typed = cmbBoxRadio->lineEdit();
    std::unique_ptr<QMenu> menu(typed->createStandardContextMenu());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Diret\u00f3rio de esta\u00e7\u00f5es\u2026"), this, [this] { ShowDirectory(); })
        ->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    menu->addAction(QStringLiteral("Guardar a esta\u00e7\u00e3o atual em Minhas esta\u00e7\u00f5es\u2026"), this, [this] {
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("Minhas esta\u00e7\u00f5es"),
                                                   QStringLiteral("Nome da esta\u00e7\u00e3o:"), QLineEdit::Normal,
                                                   StationName(), &ok);
        if (ok && !KeepCurrentStation(name))
            Application().MessageBox(QStringLiteral("Este endere\u00e7o n\u00e3o pode ser guardado."));
    });
    const int kept = cmbBoxRadio->currentIndex() - static_cast<int>(kStations.size());
    if (kept >= 0 && kept < KeptStations->Stations().size()) {
        menu->addAction(QStringLiteral("Renomear\u2026"), this, [this, kept] {
            bool ok = false;
            const QString name = QInputDialog::getText(this, QStringLiteral("Minhas esta\u00e7\u00f5es"),
                                                       QStringLiteral("Novo nome:"), QLineEdit::Normal,
                                                       KeptStations->Stations()[kept].name, &ok);
            if (ok)
                KeptStations->Rename(kept, name);
        });
        menu->addAction(QStringLiteral("Remover de Minhas esta\u00e7\u00f5es"), this, [this, kept] { KeptStations->Remove(kept); });
        menu->addAction(QStringLiteral("Mover para cima"), this, [this, kept] { KeptStations->Move(kept, -1); });
        menu->addAction(QStringLiteral("Mover para baixo"), this, [this, kept] { KeptStations->Move(kept, 1); });
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Importar lista de esta\u00e7\u00f5es\u2026"), this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Importar lista de esta\u00e7\u00f5es"), QString(),
                                                          QStringLiteral("Listas (*.m3u *.m3u8 *.pls *.xspf)"));
        QString error;
        if (!file.isEmpty() && KeptStations->Import(file, &error) < 0)
            Application().MessageBox(error, TMsgDlgType::mtError);
    });
    menu->addAction(QStringLiteral("Exportar Minhas esta\u00e7\u00f5es\u2026"), this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar Minhas esta\u00e7\u00f5es"),
                                                          QStringLiteral("esta\u00e7\u00f5es.m3u"),
                                                          QStringLiteral("Listas M3U (*.m3u)"));
        QString error;
        if (!file.isEmpty() && !KeptStations->Export(file, &error))
            Application().MessageBox(error, TMsgDlgType::mtError);
    });
    menu->exec(typed->mapToGlobal(at));
}

} // namespace orvex
