// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/MapBridge.h"

#include "trip/ClassicNumericScope.h"
#include "trip/WebBrowser2.h"
#include "ui/DataFolder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <functional>

QPointer<QWebEnginePage> mapDocument;

namespace {

// Runs a function once the top-level window of a widget has been exposed (and so painted),
// from the event loop after that paint. Starting the web engine is slow; doing it later
// keeps the window's first paint quick.
class AfterFirstExpose : public QObject {
public:
    AfterFirstExpose(QWidget* top, std::function<void()> fn)
        : QObject(top), m_top(top), m_fn(std::move(fn)) {
        top->installEventFilter(this);
        if (top->windowHandle())
            top->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_top && event->type() == QEvent::Show && m_top->windowHandle()) {
            // The native window exists from the first show on.
            m_top->windowHandle()->removeEventFilter(this);
            m_top->windowHandle()->installEventFilter(this);
        } else if (event->type() == QEvent::Expose && watched == m_top->windowHandle() &&
                   m_top->windowHandle()->isExposed()) {
            fire();
        }
        return false;
    }

private:
    void fire() {
        if (m_fired)
            return;
        m_fired = true;
        m_top->removeEventFilter(this);
        if (m_top->windowHandle())
            m_top->windowHandle()->removeEventFilter(this);
        // The expose is handled (and the window painted) when this event returns.
        QTimer::singleShot(0, m_top, m_fn);
        deleteLater();
    }

    QWidget* m_top;
    std::function<void()> m_fn;
    bool m_fired = false;
};

bool canOpenForReading(const QString& path) {
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "r");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

} // namespace

bool NavigateToMapPage(CWebBrowser2& browser) {
    // Beside the program (the build tree), else in the installed data folder.
    const QString folder = DataFolder::Find(QLatin1String(kMapPageName));
    return NavigateToMapPage(browser,
                             folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder);
}

bool NavigateToMapPage(CWebBrowser2& browser, const QString& folder) {
    const QString page = folder + QLatin1Char('/') + QLatin1String(kMapPageName);
    if (!canOpenForReading(page))
        return false;

    if (!browser.property("mapBridge").toBool()) {
        browser.setProperty("mapBridge", true);
        QObject::connect(&browser, &CWebBrowser2::DocumentComplete, &browser,
                         [&browser] { OnMapDocumentComplete(browser); });
    }

    QPointer<CWebBrowser2> target(&browser);
    auto navigate = [target, page] {
        if (!target)
            return;
        target->SetSilent(true);
        target->Navigate(page);
    };
    QWidget* top = browser.window();
    if (top->isVisible() && top->windowHandle() && top->windowHandle()->isExposed())
        QTimer::singleShot(0, &browser, navigate);
    else
        new AfterFirstExpose(top, navigate);
    return true;
}

void OnMapDocumentComplete(CWebBrowser2& browser) {
    QWebEnginePage* document = browser.GetDocument();
    if (!document)
        return;
    mapDocument = document;
    // A reload or a navigation of the page itself makes the document unusable until it
    // completes again; script calls in between are dropped.
    QObject::connect(
        document, &QWebEnginePage::loadStarted, document,
        [document] {
            if (mapDocument == document)
                mapDocument = nullptr;
        },
        Qt::SingleShotConnection);
}

QString MapScriptText(double latitude, double longitude) {
    return QString::fromStdString(FormatClassic("SetLocation(\"%f\",\"%f\")", latitude, longitude));
}

QString MapFixScriptText(std::optional<std::pair<double, double>> position) {
    if (!position)
        return QStringLiteral("SetFix(null)");
    return QString::fromStdString(
        FormatClassic("SetFix(%.6f,%.6f)", position->first, position->second));
}

void UpdateMapPosition(double latitude, double longitude) {
    if (mapDocument)
        mapDocument->runJavaScript(MapScriptText(latitude, longitude));
}

void UpdateMapFix(double latitude, double longitude,
                  std::optional<std::pair<double, double>> truePosition) {
    if (mapDocument)
        mapDocument->runJavaScript(MapFixScriptText(truePosition) + ';' +
                                   MapScriptText(latitude, longitude));
}
