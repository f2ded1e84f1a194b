// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/WebBrowser2.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {
// The map area's colour before and under the page, so that it never flashes white.
const QColor kEmptyArea(0x0d, 0x16, 0x22);
} // namespace

// A page that can keep everything its scripts say to itself.
class CSilentPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    bool silent = false;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        if (!silent)
            QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }
    void javaScriptAlert(const QUrl& origin, const QString& msg) override {
        if (!silent)
            QWebEnginePage::javaScriptAlert(origin, msg);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& msg) override {
        return silent ? false : QWebEnginePage::javaScriptConfirm(origin, msg);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& defaultValue,
                          QString* result) override {
        return silent ? false : QWebEnginePage::javaScriptPrompt(origin, msg, defaultValue, result);
    }
};

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kEmptyArea);
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

CWebBrowser2::~CWebBrowser2() {
    // The view goes before the page it shows.
    delete m_view;
    delete m_page;
}

void CWebBrowser2::ensureView() {
    if (m_view)
        return;
    m_view = new QWebEngineView(this);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_page = new CSilentPage(this);
    m_page->silent = m_silent;
    m_page->setBackgroundColor(kEmptyArea);
    // The map page is a local file; its tiles come from the network when there is one.
    m_page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    m_page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    m_view->setPage(m_page);
    layout()->addWidget(m_view);

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_documentReady = false; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        if (!ok)
            return;
        m_documentReady = true;
        Q_EMIT DocumentComplete();
    });
}

void CWebBrowser2::Navigate(const QString& url) {
    ensureView();
    m_page->load(QUrl::fromUserInput(url, QString(), QUrl::AssumeLocalFile));
}

QWebEnginePage* CWebBrowser2::GetDocument() const {
    return m_documentReady ? m_page : nullptr;
}

void CWebBrowser2::SetSilent(bool silent) {
    m_silent = silent;
    if (m_page)
        m_page->silent = silent;
}
