// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>
#include <optional>
#include <utility>

class CWebBrowser2;
class QWebEnginePage;

// The map page's document once it has loaded; null before that, while the page reloads, and
// when its browser area is gone. Script calls go to it.
extern QPointer<QWebEnginePage> mapDocument;

// The map page's file name; the program looks for it in its own folder.
inline constexpr char kMapPageName[] = "Google-earth.html";

// Start-up navigation of the map area. When "Google-earth.html" can be opened for reading in
// the program's folder (or in folder), the area is made silent and navigated to it, after the
// window holding the area has been painted for the first time (at once when it already has
// been), so the map never delays the window's first appearance. Every document the area
// completes afterwards becomes mapDocument. Returns whether the page was found; without it
// nothing happens and the area stays empty. Call it once the area sits in its window.
bool NavigateToMapPage(CWebBrowser2& browser);
bool NavigateToMapPage(CWebBrowser2& browser, const QString& folder);

// What completing a document in the map area does: the area's document replaces mapDocument.
void OnMapDocumentComplete(CWebBrowser2& browser);

// The script call for a position: SetLocation("%f","%f") with latitude first, six decimals and
// "." as the decimal separator whatever the user's locale.
QString MapScriptText(double latitude, double longitude);

// The page's added call before SetLocation: where the sample really was, in WGS-84 decimal
// degrees (south and west negative), "SetFix(lat,lon)" with six decimals; "SetFix(null)" for a
// sample without a valid fix. SetLocation's two values keep the recorder's own conversion,
// which shifts every position for a map service of its day; the page places the vehicle here.
QString MapFixScriptText(std::optional<std::pair<double, double>> position);

// Moves the map page's vehicle to a position: the recorder's values for SetLocation, and the
// true position (or none) before them where it is known; without it the page undoes the
// recorder's offsets itself. Dropped, not queued, while no page is ready.
void UpdateMapPosition(double latitude, double longitude);
void UpdateMapFix(double latitude, double longitude,
                  std::optional<std::pair<double, double>> truePosition);
