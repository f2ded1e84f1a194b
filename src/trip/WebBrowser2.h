// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QWebEnginePage;
class QWebEngineView;
class CSilentPage;

// The web browser area that shows the map page (control 1027 of the information panel).
// The engine view is created by the first Navigate, so building the panel costs nothing and
// an area that is never navigated stays an empty dark box.
class CWebBrowser2 : public QWidget {
    Q_OBJECT
public:
    explicit CWebBrowser2(QWidget* parent = nullptr);
    ~CWebBrowser2() override;

    // Loads url: a local file path or any URL. Returns at once; DocumentComplete follows.
    void Navigate(const QString& url);

    // The document that finished loading last, or null before that (and while a new
    // navigation is under way).
    QWebEnginePage* GetDocument() const;

    // Silent: script errors, console output and script dialogs (alert, confirm, prompt) of the
    // page never reach the user; confirm and prompt answer "cancel".
    void SetSilent(bool silent);
    bool GetSilent() const { return m_silent; }

    // The engine view, null until the first Navigate.
    QWebEngineView* view() const { return m_view; }

Q_SIGNALS:
    // A document finished loading successfully; GetDocument() now returns it.
    void DocumentComplete();

private:
    void ensureView();

    QWebEngineView* m_view = nullptr;
    CSilentPage* m_page = nullptr;
    bool m_silent = false;
    bool m_documentReady = false;
};
