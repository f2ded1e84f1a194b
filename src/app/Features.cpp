// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Features.h"

#include "clip/ClipFeature.h"
#include "events/EventsFeature.h"
#include "export/ExportMenu.h"
#include "keys/PlayerKeys.h"
#include "multicam/MultiCamFeature.h"
#include "session/PlayerSession.h"
#include "shell/PlayerDlg.h"

#include <QMenu>

namespace Features {

void Install() {
    CPlayerDlg::SetSetUp(&Attach);
}

void Attach(CPlayerDlg& window) {
    InstallPlayerKeys(window);
    CPlayerSession& session = *window.Session();
    // A row's menu: its trip, then its clip; the whole list's: events and play through.
    session.AddRowMenu([](QMenu& menu, QWidget* owner, const QString& recording) {
        TripExport::AddExportActions(menu, owner, recording);
    });
    new CClipFeature(session);
    new CEventsFeature(session, *window.m_dlgRecordList, *window.m_dlgRecordInfo);
    new CMultiCamFeature(session);
}

} // namespace Features
