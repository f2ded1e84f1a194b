// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AfterFirstShow.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

class AfterFirstExpose : public QObject {
public:
    AfterFirstExpose(QWidget* top, std::function<void()> fn)
        : QObject(top), m_top(top), m_fn(std::move(fn)) {
        top->installEventFilter(this);
        WatchHandle();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_top && event->type() == QEvent::Show)
            WatchHandle(); // the native window exists from the first show on
        else if (event->type() == QEvent::Expose && m_top->windowHandle() &&
                 watched == m_top->windowHandle() && m_top->windowHandle()->isExposed())
            Fire();
        return false;
    }

private:
    void WatchHandle() {
        if (QWindow* handle = m_top->windowHandle()) {
            handle->removeEventFilter(this);
            handle->installEventFilter(this);
        }
    }

    void Fire() {
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

} // namespace

void RunAfterFirstShow(QWidget* widget, std::function<void()> fn) {
    QWidget* top = widget->window();
    if (top->isVisible() && top->windowHandle() && top->windowHandle()->isExposed())
        QTimer::singleShot(0, top, std::move(fn));
    else
        new AfterFirstExpose(top, std::move(fn));
}
