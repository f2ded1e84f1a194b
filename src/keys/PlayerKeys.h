// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CPlayerDlg;

// Keyboard control of the player window. Each key calls the handler of the button it stands
// for (or moves the volume bar 5 % of its range), while the window is the
// active one: no key reaches the window while one of its dialogs is open. A key the focused
// control uses itself stays with it: a slider's navigation keys; the record list's, its Space
// and the letters that find a row; a button's or tab's Space and Enter. The Ctrl keys act from
// anywhere in the window. The buttons' tooltips name their keys.
//
//   Space        play when paused or at the end, pause when playing
//   Left, Right  one frame back / forward     Shift+Left, Shift+Right  one second back / forward
//   Home, End    head / end of the file       Up, Down                 volume up / down
//   Ctrl+O       open file                    Ctrl+S, Ctrl+P           snapshot, print
//   I, O         clip start / end mark        Backspace                clear the marks
//   Ctrl+E       export the clip (the marked span, else the whole recording)
//   F3           find the events of the listed recordings
//   N, Shift+N   to the next / previous event     P   play through the card (on / off)
void InstallPlayerKeys(CPlayerDlg& window);
