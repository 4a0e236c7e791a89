#pragma once

#include <QDialog>

#include "app/UiTexts.h"
#include "ui/ShopFloorService.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

// The small settings dialog that switches the shop-floor web page and MQTT on and off. OK
// applies; when something cannot start the dialog stays open and says why, in the window's
// language. Nothing is kept past the program's end: both are off at every start.
class ShopFloorDialog : public QDialog
{
    Q_OBJECT
public:
    ShopFloorDialog(QWidget* parent, ShopFloorService& service, int language);

    // Takes the fields, applies them and shows the outcome; true when all that was switched
    // on runs.
    bool applyFields();
    QString statusText() const;

private:
    QString text(TextId id) const;
    void showOutcome(const ShopFloorService::Outcome& outcome);
    void updateEnabled();

    ShopFloorService& m_service;
    int m_language;
    QCheckBox* m_web;
    QLineEdit* m_listen;
    QLineEdit* m_tokenFile;
    QLineEdit* m_designs;
    QCheckBox* m_mqtt;
    QLineEdit* m_mqttUrl;
    QLineEdit* m_mqttCredentials;
    QLabel* m_status;
    QDialogButtonBox* m_buttons;
};
