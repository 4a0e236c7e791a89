#pragma once

#include <QDialog>

#include "app/ConfigFile.h"

class QCheckBox;
class QPushButton;

// The language dialog: ticking a box stores the choice at once, so closing the dialog in any
// way keeps it; closing without a tick leaves the stored value as it was.
class CSetLanguage : public QDialog
{
    Q_OBJECT
public:
    explicit CSetLanguage(ConfigFile config, QWidget* parent = nullptr);

private:
    // A tick on the box of `language` (1 Chinese, 2 English) stores it and unticks the other.
    void onTicked(int language, bool ticked);
    // Chinese texts for 1, English for anything else.
    void applyTexts(int language);

    ConfigFile m_config;
    QCheckBox* m_chinese = nullptr;
    QCheckBox* m_english = nullptr;
    QPushButton* m_ok = nullptr;
};
