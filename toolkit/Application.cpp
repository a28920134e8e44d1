#include "Application.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace orvex {

TApplication& Application()
{
    static TApplication application;
    return application;
}

detail::HandlerFailure*& detail::CurrentHandlerFailure()
{
    // Handlers run on the thread that fired them.
    thread_local HandlerFailure* current = nullptr;
    return current;
}

void TApplication::HandleException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        ShowException(e);
    } catch (const std::exception& e) {
        ShowException(Exception(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        ShowException(Exception(QStringLiteral("Unknown exception")));
    }
}

void TApplication::ShowException(const Exception& error)
{
    if (OnException) {
        OnException(error);
        return;
    }
    QString text = error.Message().trimmed();
    if (!text.isEmpty() && !text.endsWith(u'.'))
        text += u'.';
    MessageBox(text, TMsgDlgType::mtError);
}

void TApplication::MessageBox(const QString& text, TMsgDlgType type)
{
    if (MessageBoxHook) {
        MessageBoxHook({text, Title, type});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type) {
    case TMsgDlgType::mtWarning: icon = QMessageBox::Warning; break;
    case TMsgDlgType::mtError: icon = QMessageBox::Critical; break;
    case TMsgDlgType::mtInformation: icon = QMessageBox::Information; break;
    case TMsgDlgType::mtConfirmation: icon = QMessageBox::Question; break;
    case TMsgDlgType::mtCustom: break;
    }
    QMessageBox box(icon, Title, text, QMessageBox::Ok, MainForm);
    // Messages carry file names and addresses: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString TApplication::ExeFolder() const
{
    if (!m_exeFolder.isEmpty())
        return m_exeFolder;
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

} // namespace orvex
