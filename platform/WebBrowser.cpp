#include "WebBrowser.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace orvex {

void PrepareBrowserEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent), m_view(new QWebEngineView(this))
{
    QWebEngineSettings* settings = m_view->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    m_view->setGeometry(rect());

    connect(m_view, &QWebEngineView::loadStarted, this, [this] {
        m_busy = true;
        emit CommandStateChange(CSC_UPDATECOMMANDS, true);
    });
    connect(m_view, &QWebEngineView::loadFinished, this, [this] {
        m_busy = false;
        HistoryChanged();
        emit CommandStateChange(CSC_UPDATECOMMANDS, true);
    });
    connect(m_view, &QWebEngineView::urlChanged, this, [this] { HistoryChanged(); });
}

void WebBrowser::HistoryChanged()
{
    // The back and forward commands are reported whenever the history moves,
    // as the browser's own toolbar would see them.
    const QWebEngineHistory* history = m_view->history();
    m_canGoBack = history->canGoBack();
    m_canGoForward = history->canGoForward();
    emit CommandStateChange(CSC_NAVIGATEBACK, m_canGoBack);
    emit CommandStateChange(CSC_NAVIGATEFORWARD, m_canGoForward);
}

void WebBrowser::Navigate(const QString& url)
{
    QUrl target;
    if (!url.isEmpty()) {
        const QUrl parsed(url);
        // A one-letter scheme would be a drive, not a scheme; a path is a file.
        target = parsed.scheme().size() > 1 ? parsed : QUrl::fromLocalFile(QFileInfo(url).absoluteFilePath());
    }
    m_view->load(target);
}

void WebBrowser::GoBack()
{
    if (!m_view->history()->canGoBack())
        throw EOleException(QStringLiteral("Unspecified error"));
    m_view->back();
}

void WebBrowser::GoForward()
{
    if (!m_view->history()->canGoForward())
        throw EOleException(QStringLiteral("Unspecified error"));
    m_view->forward();
}

void WebBrowser::Stop()
{
    m_view->stop();
}

QString WebBrowser::LocationURL() const
{
    return m_view->url().toString();
}

void WebBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
}

} // namespace orvex
