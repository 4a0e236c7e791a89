#include "ui/DesignFileTypes.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

#include "design/DesignLoader.h"
#include "ui/QtTexts.h"
#include "ui/QtTranslations.h"

QString DesignFileTypes::type(const QFileInfo& info) const
{
    if (info.isFile() && designFormatForPath(info.fileName().toStdString()))
        return info.suffix().toUpper() + u' ' + qtText(TextId::FileDesignType, qtLanguage());
    return QFileIconProvider::type(info);
}

void dressDesignFileDialog(QFileDialog* dialog)
{
    // One provider for every dialog, kept for the whole run: a dialog's model may still ask
    // it while the dialog is being torn down.
    static DesignFileTypes* const types = new DesignFileTypes;
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    dialog->setIconProvider(types);
    if (auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}
