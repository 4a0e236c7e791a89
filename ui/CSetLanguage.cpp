#include "ui/CSetLanguage.h"

#include <string>

#include <QCheckBox>
#include <QPushButton>

#include "app/UiTexts.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/QtTexts.h"

namespace {
constexpr std::string_view kSection = "Z62Language";
constexpr std::string_view kKey = "Language";
} // namespace

CSetLanguage::CSetLanguage(ConfigFile config, QWidget* parent)
    : QDialog(parent), m_config(std::move(config))
{
    const DialogUnits u = dialogUnitsFor(font());
    setFixedSize(u.size(280, 166));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_chinese = placeControl(new QCheckBox(this), LanguageControl::Chinese, u, 41, 38, 63, 19);
    m_english = placeControl(new QCheckBox(this), LanguageControl::English, u, 41, 70, 63, 19);
    m_ok = placeControl(new QPushButton(this), LanguageControl::Ok, u, 210, 127, 55, 25);
    // The captions are wider than the template's 63 units in some fonts; let them show.
    for (QCheckBox* box : {m_chinese, m_english})
        box->resize(u.size(150, 19));
    m_ok->setAutoDefault(false);
    connect(m_chinese, &QCheckBox::clicked, this, [this](bool ticked) { onTicked(1, ticked); });
    connect(m_english, &QCheckBox::clicked, this, [this](bool ticked) { onTicked(2, ticked); });
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    int language = readLanguage(m_config, "1");
    if (language == 1)
        m_chinese->setChecked(true);
    else if (language == 2)
        m_english->setChecked(true);
    else if (language == 0)
        language = 1; // not chosen yet: the question is asked in Chinese
    applyTexts(language);
}

void CSetLanguage::onTicked(int language, bool ticked)
{
    if (!ticked)
        return;
    m_config.writeText(kSection, kKey, std::to_string(language));
    (language == 1 ? m_english : m_chinese)->setChecked(false);
    applyTexts(language);
}

void CSetLanguage::applyTexts(int language)
{
    setWindowTitle(qtText(TextId::LanguageCaption, language));
    m_chinese->setText(qtText(TextId::LanguageChinese, language));
    m_english->setText(qtText(TextId::LanguageEnglish, language));
    m_ok->setText(qtText(TextId::LanguageOk, language));
}
