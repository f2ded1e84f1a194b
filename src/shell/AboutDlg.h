// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class CSkinButton;
class QLabel;

// The about box: the program's title picture in a small rounded window without caption or
// border, closed by its circular close button (or Escape).
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    CSkinButton* m_btnClose = nullptr; // control 1: ends the box as accepted
    QLabel* m_stcTitle = nullptr;      // the title and version text, kept hidden

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();
};
