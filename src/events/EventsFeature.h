// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class CPlayerSession;
class CRecordInfoDlg;
class CRecordListDlg;

// The jolts the recorder felt and playing through the card, plugged into the session:
// "Find events" (F3) in the record list's menu scans every listed recording with a progress
// dialog (Cancel leaves everything as it was) and fills the "Event" column, the "Event:" box and
// the seek bar's ticks; N / Shift+N go to two seconds before the next / previous event of the
// open recording, playing or paused as before; "Play through the card" (P) opens the next row
// when a recording played to its end, as Next would. The limits come from the settings file
// chosen last in the settings dialog, else the card folder's setup.ini, else the user (one G
// limit for every axis, asked for and remembered). "Camera clock offset…" sets the seconds the
// camera's clock of the listed card is off, for the times shown beside GPS time.
class CEventsFeature : public QObject {
    Q_OBJECT
public:
    CEventsFeature(CPlayerSession& session, CRecordListDlg& list, CRecordInfoDlg& info);

    void OnFindEvents();
    void OnJumpToEvent(int direction);
    void OnCameraClockOffset();

    // Kept in the program's own settings.
    static bool PlayThrough();
    static void SetPlayThrough(bool on);

    // The feature attached to the session of `window`, if any.
    static CEventsFeature* Of(const QObject* window);

private:
    bool PlayOn();

    CPlayerSession& m_session;
    CRecordListDlg& m_list;
    CRecordInfoDlg& m_info;
};
