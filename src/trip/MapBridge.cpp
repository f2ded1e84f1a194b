// SPDX-License-Identifier: GPL-3.0-or-later
#include "trip/MapBridge.h"

#include "trip/ClassicNumericScope.h"
#include "trip/WebBrowser2.h"
#include "ui/AfterFirstShow.h"
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
    RunAfterFirstShow(&browser, navigate);
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
