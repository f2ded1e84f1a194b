// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/AboutDlg.h"

#include "skin/SkinButton.h"
#include "skin/SkinnedWindow.h"
#include "ui/DialogUnits.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    using DialogUnits::rect;
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(rect(0, 0, 264, 128).size());
    QFont dialogFont(QStringLiteral("Noto Sans CJK SC"));
    dialogFont.setPointSize(9);
    setFont(dialogFont);
    // The window is a little taller than its picture; what lies below the picture is black.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);

    // The picture carries the visible title; the text stays for those who cannot see it.
    m_stcTitle = new QLabel(QStringLiteral("车载录像及GPS轨迹跟踪仪 1.6 版"), this);
    m_stcTitle->setTextFormat(Qt::PlainText);
    m_stcTitle->setGeometry(rect(46, 38, 121, 13));
    m_stcTitle->hide();
    setAccessibleName(m_stcTitle->text());

    m_btnClose = new CSkinButton(this);
    m_btnClose->setObjectName(QStringLiteral("ctl1"));
    m_btnClose->setText(QStringLiteral("close"));
    m_btnClose->setAccessibleName(QStringLiteral("close"));
    m_btnClose->setGeometry(rect(228, 16, 16, 15));
    connect(m_btnClose, &QAbstractButton::clicked, this, &QDialog::accept);

    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::OnInitDialog() {
    m_btnClose->SetEllipticRegion(205, true);
    m_btnClose->LoadStateBitmaps(204, 205, 205, 205);
}

void CAboutDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::PaintBackground(painter, this, 203);
}

void CAboutDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    setMask(Skin::RoundedWindowRegion(size(), 28, 28));
}

void CAboutDlg::keyPressEvent(QKeyEvent* event) {
    // Enter is the close button's, the box's default button; Escape cancels (QDialog's own).
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}
