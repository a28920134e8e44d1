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

namespace detail {
// Where the exceptions of handlers go while code that fired them wants them
// back (RaiseFromHandlers); one per level, innermost current.
struct HandlerFailure {
    std::exception_ptr error;
    HandlerFailure* outer = nullptr;
};
HandlerFailure*& CurrentHandlerFailure();
} // namespace detail

// Runs an event handler: an exception that leaves it ends the handler and
// reaches the application's exception handler, never the event loop. Inside
// RaiseFromHandlers the exception goes to the code that fired the handler.
template <class F>
void Guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        if (detail::HandlerFailure* failure = detail::CurrentHandlerFailure()) {
            if (!failure->error)
                failure->error = std::current_exception();
        } else {
            Application().HandleException(std::current_exception());
        }
    }
}

// Runs code that fires event handlers through the toolkit (checking a radio
// button, clicking a button) and raises here the first exception that left
// one of them, as a direct call of the handler would: the caller's further
// steps do not run. The exception never passes through the toolkit's code.
template <class F>
void RaiseFromHandlers(F&& action)
{
    detail::HandlerFailure failure;
    failure.outer = detail::CurrentHandlerFailure();
    detail::CurrentHandlerFailure() = &failure;
    try {
        std::forward<F>(action)();
    } catch (...) {
        detail::CurrentHandlerFailure() = failure.outer;
        throw;
    }
    detail::CurrentHandlerFailure() = failure.outer;
    if (failure.error)
        std::rethrow_exception(failure.error);
}

} // namespace orvex
