#include "ui/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/AppIcon.h"
#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/QtTexts.h"

#ifndef HOOPWATCH_VERSION
#define HOOPWATCH_VERSION "0"
#endif

CAboutDlg::CAboutDlg(int language, QWidget* parent) : QDialog(parent)
{
    const DialogUnits u = dialogUnitsFor(font());
    setWindowTitle(qtText(TextId::AboutCaption, language));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(u.size(200, 80));

    auto* icon = placeControl(new QLabel(this), AboutControl::Icon, u, 14, 14, 24, 24);
    icon->setPixmap(appIconPixmap(icon->width()));
    auto* name = placeControl(new QLabel(this), AboutControl::Name, u, 50, 14, 140, 10);
    name->setText(QStringLiteral("Hoopwatch %1").arg(QStringLiteral(HOOPWATCH_VERSION)));
    auto* note = placeControl(new QLabel(this), AboutControl::Note, u, 50, 28, 140, 20);
    note->setText(QStringLiteral("Z62  ·  DST  DSB  TBF  DSR"));
    note->setWordWrap(true);
    auto* ok = placeControl(new QPushButton(QStringLiteral("OK"), this), AboutControl::Ok, u, 143,
                            58, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
