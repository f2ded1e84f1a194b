#include "records/RecordInfoDlg.h"

#include "skin/SkinButton.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QLineEdit>

CRecordInfoDlg::CRecordInfoDlg(QWidget* parent) : QWidget(parent) {
    using DialogUnits::rect;
    setObjectName(QStringLiteral("recordInfo"));
    resize(rect(0, 0, 211, 345).size());

    m_btnPrevious = new CSkinButton(this);
    m_btnPrevious->setText(QStringLiteral("Previous"));
    m_btnPrevious->setGeometry(rect(28, 16, 19, 11));
    m_btnPrevious->setToolTip(QStringLiteral("previous record"));
    m_btnPrevious->setAccessibleName(QStringLiteral("previous record"));

    m_btnNext = new CSkinButton(this);
    m_btnNext->setText(QStringLiteral("Next"));
    m_btnNext->setGeometry(rect(156, 16, 19, 11));
    m_btnNext->setToolTip(QStringLiteral("next record"));
    m_btnNext->setAccessibleName(QStringLiteral("next record"));

    auto* heading = new QLabel(QStringLiteral("-----Current Record-----"), this);
    heading->setAlignment(Qt::AlignCenter);
    heading->setGeometry(rect(49, 16, 106, 14));

    auto makeEdit = [this](const QRect& r, Qt::Alignment align) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        edit->setAlignment(align);
        edit->setFrame(false);
        edit->setGeometry(r);
        return edit;
    };
    m_editRecord = makeEdit(rect(11, 38, 185, 15), Qt::AlignCenter);
    auto* eventLabel = new QLabel(QStringLiteral("Event:"), this);
    eventLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    eventLabel->setGeometry(rect(14, 58, 30, 14));
    m_editEvent = makeEdit(rect(47, 61, 38, 13), Qt::AlignCenter);
    auto* resolutionLabel = new QLabel(QStringLiteral("Resolution:"), this);
    resolutionLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    resolutionLabel->setGeometry(rect(96, 59, 43, 12));
    m_editResolution = makeEdit(rect(142, 61, 50, 14), Qt::AlignLeft | Qt::AlignVCenter);

    m_mapArea = new QWidget(this);
    m_mapArea->setGeometry(rect(0, 99, 211, 246));
}
