// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVariant>

class QString;

// The program's own settings (never the recorder's setup.ini), kept under its own name:
// ~/.config/dashcard-player/dashcard-player.conf. What earlier versions kept under Qt's
// default name ("Unknown Organization/player.conf") is taken over the first time.
namespace ProgramSettings {

QVariant Value(const QString& key, const QVariant& fallback = {});
void SetValue(const QString& key, const QVariant& value);
// The file they are kept in.
QString FilePath();

} // namespace ProgramSettings
