#include "ui/ShopFloorDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/UiTexts.h"
#include "ui/QtTexts.h"

namespace {

QString filled(QString templ, const std::string& value)
{
    return templ.replace("%s", QString::fromStdString(value));
}

} // namespace

ShopFloorDialog::ShopFloorDialog(QWidget* parent, ShopFloorService& service, int language)
    : QDialog(parent), m_service(service), m_language(language)
{
    setObjectName("shopFloorDialog");
    setWindowTitle(text(TextId::ShopCaption));
    const ShopFloorService::Options& options = service.options();
    const auto edit = [this](const char* name, const std::string& value) {
        auto* line = new QLineEdit(QString::fromStdString(value), this);
        line->setObjectName(name);
        line->setMinimumWidth(260);
        return line;
    };
    m_web = new QCheckBox(text(TextId::ShopWebEnabled), this);
    m_web->setObjectName("shopWebEnabled");
    m_web->setChecked(options.web);
    m_listen = edit("shopListen", options.listen);
    m_tokenFile = edit("shopTokenFile", options.tokenFile);
    m_designs = edit("shopDesigns", options.designs);
    m_mqtt = new QCheckBox(text(TextId::ShopMqttEnabled), this);
    m_mqtt->setObjectName("shopMqttEnabled");
    m_mqtt->setChecked(options.mqtt);
    m_mqttUrl = edit("shopMqttUrl", options.mqttUrl);
    m_mqttUrl->setPlaceholderText("mqtt://127.0.0.1:1883");
    m_mqttCredentials = edit("shopMqttCredentials", options.mqttCredentials);
    m_status = new QLabel(this);
    m_status->setObjectName("shopStatus");
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName("shopButtons");

    auto* form = new QFormLayout;
    form->addRow(m_web);
    form->addRow(text(TextId::ShopListen), m_listen);
    form->addRow(text(TextId::ShopTokenFile), m_tokenFile);
    form->addRow(text(TextId::ShopDesigns), m_designs);
    form->addRow(m_mqtt);
    form->addRow(text(TextId::ShopMqttUrl), m_mqttUrl);
    form->addRow(text(TextId::ShopMqttCredentials), m_mqttCredentials);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);

    connect(m_web, &QCheckBox::toggled, this, &ShopFloorDialog::updateEnabled);
    connect(m_mqtt, &QCheckBox::toggled, this, &ShopFloorDialog::updateEnabled);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        if (applyFields())
            accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateEnabled();
    showOutcome(service.outcome());
}

QString ShopFloorDialog::text(TextId id) const
{
    return qtText(id, m_language);
}

void ShopFloorDialog::updateEnabled()
{
    for (QLineEdit* line : {m_listen, m_tokenFile, m_designs})
        line->setEnabled(m_web->isChecked());
    for (QLineEdit* line : {m_mqttUrl, m_mqttCredentials})
        line->setEnabled(m_mqtt->isChecked());
}

bool ShopFloorDialog::applyFields()
{
    ShopFloorService::Options options;
    options.web = m_web->isChecked();
    options.listen = m_listen->text().trimmed().toStdString();
    options.tokenFile = m_tokenFile->text().trimmed().toStdString();
    options.designs = m_designs->text().trimmed().toStdString();
    options.mqtt = m_mqtt->isChecked();
    options.mqttUrl = m_mqttUrl->text().trimmed().toStdString();
    options.mqttCredentials = m_mqttCredentials->text().trimmed().toStdString();
    const ShopFloorService::Outcome outcome = m_service.apply(options);
    showOutcome(outcome);
    return (!options.web || outcome.webAddress) && (!options.mqtt || outcome.mqttRunning);
}

void ShopFloorDialog::showOutcome(const ShopFloorService::Outcome& outcome)
{
    const ShopFloorService::Options& options = m_service.options();
    QStringList lines;
    if (outcome.webAddress)
        lines << filled(text(TextId::ShopWebServing), *outcome.webAddress);
    else if (options.web)
        lines << filled(text(TextId::ShopWebFailed), outcome.webError);
    if (outcome.mqttRunning)
        lines << filled(text(TextId::ShopMqttStarted), options.mqttUrl);
    else if (options.mqtt)
        lines << filled(text(TextId::ShopMqttFailed), outcome.mqttError);
    if (lines.isEmpty())
        lines << text(TextId::ShopOff);
    m_status->setText(lines.join("\n"));
}

QString ShopFloorDialog::statusText() const
{
    return m_status->text();
}
