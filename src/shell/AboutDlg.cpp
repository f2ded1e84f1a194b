#include "shell/AboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 player"));
    resize(397, 190);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("车载录像及GPS轨迹跟踪仪 1.6 版"), this);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignCenter);
}
