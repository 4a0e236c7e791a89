#pragma once

#include <QDialog>

// The about box opened from the window menu of the main window.
class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(int language, QWidget* parent = nullptr);
};
