#pragma once

#include <QFileIconProvider>

class QFileDialog;

// Names the design formats in the Type column of the file dialogs ("DST design file"), in
// the language of Qt's texts; other files keep the system's names.
class DesignFileTypes : public QFileIconProvider
{
public:
    QString type(const QFileInfo& info) const override;
};

// Gives a design file dialog the format names above, filter entries without their pattern
// lists, and detail columns wide enough for their sizes and dates.
void dressDesignFileDialog(QFileDialog* dialog);
