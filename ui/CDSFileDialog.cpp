#include "ui/CDSFileDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QFileSystemModel>
#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

#include "app/UiTexts.h"
#include "design/DesignLoader.h"
#include "render/PreviewView.h"
#include "render/QPainterSurface.h"
#include "render/SummaryLine.h"
#include "ui/ControlIds.h"
#include "ui/DesignFileTypes.h"
#include "ui/DialogUnits.h"
#include "ui/QtTexts.h"
#include "ui/TextFit.h"

namespace {

// "*.DST" matches .dst, .Dst, .DST ...: each letter becomes a two-case set.
QString anyCasePattern(const QString& pattern)
{
    QString result;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += u'[' + QString(c.toLower()) + QString(c.toUpper()) + u']';
        else
            result += c;
    }
    return result;
}

constexpr int kPanelWidth = 340;

QRect toQRect(const SurfaceRect& r)
{
    return QRect(r.left, r.top, r.width(), r.height());
}

} // namespace

CDSPreviewPanel::CDSPreviewPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(controlName(FileDialogControl::PreviewPanel));
    setMinimumWidth(kPanelWidth);
    setMaximumWidth(kPanelWidth);
    m_measure = new QFrame(this);
    m_measure->setObjectName(controlName(FileDialogControl::PreviewMeasure));
    m_measure->setFrameShape(QFrame::Box);
    m_measure->hide();
}

void CDSPreviewPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The column spans the panel less a small margin at each side.
    m_measure->setGeometry(4, 0, width() - 9, height());
}

QRect CDSPreviewPanel::previewRect() const
{
    return toQRect(previewLayout(width(), height(), m_measure->width()).preview);
}

QRect CDSPreviewPanel::summaryRect() const
{
    return toQRect(previewLayout(width(), height(), m_measure->width()).summary);
}

void CDSPreviewPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const PreviewLayout layout = previewLayout(width(), height(), m_measure->width());
    const QRect area = toQRect(layout.preview);
    if (area.width() <= 0 || area.height() <= 0)
        return;
    QImage image(area.size(), QImage::Format_RGB32);
    {
        QPainterSurface surface(image);
        paintPreviewArea(surface, RenderTarget{area.width(), area.height()}, m_design);
    }
    if (m_design.stitches.count > 0) {
        QPainterSurface surface(painter);
        drawSummaryLine(surface, m_design.summary, layout.summary);
    }
    painter.drawImage(area.topLeft(), image);
    // The preview holds a design only for the paint that follows a selection change, so a
    // dialog left open never keeps a large design in memory; a later repaint shows the empty
    // field until the selection changes again.
    clearStitches(&m_design.stitches);
}

CDSFileDialog::CDSFileDialog(QWidget* parent) : QFileDialog(parent)
{
    dressDesignFileDialog(this);
    setOption(QFileDialog::ReadOnly, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilters(nameFiltersFrom(uiText(TextId::FileFilter, 2)));

    m_panel = new CDSPreviewPanel(this);
    const DialogUnits u = dialogUnitsFor(font());
    m_previewBox = new QCheckBox(this);
    m_previewBox->setObjectName(controlName(FileDialogControl::PreviewBox));
    m_advanced = new QPushButton(this);
    m_advanced->setObjectName(controlName(FileDialogControl::Advanced));
    m_advanced->setAutoDefault(false);
    m_extract = new QPushButton(qtText(TextId::FileExtractDesign, 1), this);
    m_extract->setObjectName(controlName(FileDialogControl::ExtractDesign));
    m_extract->hide();
    // The same captions in every language.
    m_previewBox->setText(qtText(TextId::FilePreview, 1));
    m_advanced->setText(qtText(TextId::FileAdvanced, 1));
    m_advanced->setFixedSize(
        u.size(50, 14).expandedTo(buttonSizeFor(m_advanced, m_advanced->text())));
    m_previewBox->setChecked(m_previewSwitch);
    connect(m_previewBox, &QCheckBox::toggled, this, [this](bool on) { m_previewSwitch = on; });

    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int rows = grid->rowCount();
        const int columns = grid->columnCount();
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(m_previewBox);
        row->addSpacing(10);
        row->addWidget(m_advanced);
        row->addSpacing(5);
        grid->addLayout(row, rows, 0, 1, columns);
        grid->addWidget(m_panel, 0, columns, rows + 1, 1);
    }
    resize(u.size(378 + 200, 187 + 80).expandedTo(QSize(1000, 540)));
    // The selection drives the preview. The list and detail views share one selection model.
    if (auto* view = findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
        m_selection = view->selectionModel();
        connect(m_selection, &QItemSelectionModel::selectionChanged, this,
                &CDSFileDialog::onSelectionChanged);
    }
}

QStringList CDSFileDialog::choose(QWidget* parent, const QString& folder)
{
    CDSFileDialog dialog(parent);
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QStringList CDSFileDialog::nameFiltersFrom(std::string_view windowsFilter)
{
    const QStringList parts =
        QString::fromUtf8(windowsFilter.data(), qsizetype(windowsFilter.size())).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << anyCasePattern(p.trimmed());
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(u' '));
    }
    return filters;
}

QString CDSFileDialog::firstOfSelection(const QString& text)
{
    if (text.size() <= 2 || !text.endsWith(QStringLiteral("\" ")))
        return text;
    qsizetype cut = -1;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if ((text[i] == u'/' || text[i] == u'\\') && text[i + 1] == u'"') {
            cut = i;
            break;
        }
    }
    if (cut < 0)
        return text;
    const qsizetype nameStart = cut + 2;
    const qsizetype nameEnd = text.indexOf(u'"', nameStart);
    return text.left(cut + 1) + text.mid(nameStart, nameEnd - nameStart);
}

void CDSFileDialog::onSelectionChanged()
{
    QStringList names;
    QString folderPath;
    for (const QModelIndex& row : m_selection->selectedRows()) {
        const QFileInfo info(row.data(QFileSystemModel::FilePathRole).toString());
        if (info.isDir())
            folderPath = info.absoluteFilePath();
        else
            names << info.fileName();
    }
    if (names.isEmpty()) {
        // Only a folder is selected: the preview stays as it is.
        if (!folderPath.isEmpty())
            previewPath(folderPath);
        return;
    }
    // The path of the selection as the system dialog gives it: the folder, then the name, or
    // each of several names quoted and followed by a blank.
    QString text = directory().absolutePath() + u'/';
    if (names.size() == 1) {
        text += names.front();
    } else {
        for (const QString& name : names)
            text += u'"' + name + QStringLiteral("\" ");
    }
    previewPath(firstOfSelection(text));
}

void CDSFileDialog::previewPath(const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).isDir())
        return;
    Design& design = m_panel->design();
    clearStitches(&design.stitches);
    if (m_previewSwitch) {
        loadDesign(path.toStdString(), &design);
    }
    m_panel->update();
}
