// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class CPlayerDlg;

// The one place that knows the window and everything that plugs in beside it: the keys, trip
// export, clip marks and export, events and playing through the card.
namespace Features {

// Wires them into every player window made from now on (at start-up, and in tests).
void Install();
// Wires them into `window`.
void Attach(CPlayerDlg& window);

} // namespace Features
