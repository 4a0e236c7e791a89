#pragma once

#include <string_view>

#include <QFileDialog>
#include <QImage>
#include <QStringList>

#include "design/Design.h"

class QCheckBox;
class QFrame;
class QItemSelectionModel;
class QPushButton;

// The preview panel at the right of the design file dialog: the current file's stitches in
// a white field with its summary line below.
class CDSPreviewPanel : public QWidget
{
    Q_OBJECT
public:
    explicit CDSPreviewPanel(QWidget* parent);

    // Control 131: the invisible measure of the preview column.
    QFrame* measure() const { return m_measure; }
    Design& design() { return m_design; }
    // The rectangles the paint uses, in panel coordinates.
    QRect previewRect() const;
    QRect summaryRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QFrame* m_measure = nullptr;
    Design m_design;
};

// The open dialog for design files, with multiple selection and a preview of the file under
// the cursor. Non-native, so the preview panel can sit beside the standard controls.
class CDSFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    explicit CDSFileDialog(QWidget* parent);

    // Runs the dialog and returns the chosen paths in order, empty when cancelled.
    static QStringList choose(QWidget* parent, const QString& folder = {});

    // The filter entries of a "description|patterns|...||" string in Qt's form, each
    // pattern matching its suffix in any letter case; descriptions stay as they are shown.
    static QStringList nameFiltersFrom(std::string_view windowsFilter);
    // The first file of a multiple selection text ("folder/\"a\" \"b\" "); other texts as
    // they are.
    static QString firstOfSelection(const QString& text);

    // Loading the file under the cursor; a folder leaves the preview as it was.
    void previewPath(const QString& path);

    bool previewSwitch() const { return m_previewSwitch; }
    CDSPreviewPanel* panel() const { return m_panel; }

private:
    void onSelectionChanged();

    bool m_previewSwitch = true;
    CDSPreviewPanel* m_panel = nullptr;
    QCheckBox* m_previewBox = nullptr;
    QPushButton* m_advanced = nullptr;
    QPushButton* m_extract = nullptr;
    QItemSelectionModel* m_selection = nullptr;
};
