#pragma once

#include "Exceptions.h"

#include <QString>
#include <exception>
#include <functional>
#include <utility>

class QWidget;

namespace orvex {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// What a message box would have shown; tests read these instead of clicking.
struct MessageBoxRecord {
    QString text;
    QString caption;
    TMsgDlgType type;
};

// The application object: the title that captions every message box, the
// default exception handler, and the folder of the program.
class TApplication {
public:
    QString Title = QStringLiteral("Orvex");

    // Replaces the default exception handler when set (tests record messages).
    std::function<void(const Exception&)> OnException;
    // Replaces the modal dialog when set (tests record what would be shown).
    std::function<void(const MessageBoxRecord&)> MessageBoxHook;
    // The window that dialogs are shown over.
    QWidget* MainForm = nullptr;

    // Shows the message of an exception that left an event handler; the
    // silent EAbort shows nothing.
    void HandleException(std::exception_ptr error);
    void ShowException(const Exception& error);

    // A plain modal message dialog with one OK button, captioned with Title.
    void MessageBox(const QString& text, TMsgDlgType type = TMsgDlgType::mtCustom);

    // The folder of the program's executable, ending in the separator. Tests
    // point it elsewhere with SetExeFolder.
    QString ExeFolder() const;
    void SetExeFolder(const QString& folder) { m_exeFolder = folder; }

private:
    QString m_exeFolder;
};

TApplication& Application();

// Runs an event handler: an exception that leaves it ends the handler and
// reaches the application's exception handler, never the event loop.
template <class F>
void Guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
}

} // namespace orvex
