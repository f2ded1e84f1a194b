// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowKeys.h"

#include <QAbstractButton>
#include <QShortcut>

void BindWindowKey(QWidget* window, const QKeySequence& key, KeyRepeat repeat,
                   std::function<void()> action, QAbstractButton* button) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(repeat == KeyRepeat::Yes);
    QObject::connect(shortcut, &QShortcut::activated, window, std::move(action));
    if (button)
        button->setToolTip(QStringLiteral("%1 (%2)").arg(button->toolTip(),
                                                         key.toString(QKeySequence::PortableText)));
}
