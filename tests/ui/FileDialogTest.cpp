#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>

#include <gtest/gtest.h>

#include "app/UiTexts.h"
#include "design/DesignLoader.h"
#include "ui/CDSFileDialog.h"
#include "ui/ControlIds.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

class FileDialog : public ::testing::Test
{
protected:
    void SetUp() override { ensureApplication(); }

    QString file(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = temp.file(name);
        writeFile(path, bytes);
        return QString::fromStdString(path);
    }
    // The preview field as painted now.
    QImage preview(CDSFileDialog& dialog)
    {
        return dialog.panel()->grab().toImage().copy(dialog.panel()->previewRect());
    }

    TempConfig temp;
};

} // namespace

TEST_F(FileDialog, PreviewOfADstShowsItsStitchesAndSummary)
{
    CDSFileDialog dialog(nullptr);
    dialog.resize(900, 520);
    dialog.show();
    dialog.previewPath(file("square.dst", dstBytes(2)));
    EXPECT_EQ(dialog.panel()->design().summary.colorCount, 2);
    const QImage panel = dialog.panel()->grab().toImage();
    const QImage image = panel.copy(dialog.panel()->previewRect());
    EXPECT_TRUE(isBlack(image.pixel(0, 0)));
    EXPECT_GT(drawnPixels(image, image.rect()), 50);
    const QImage summary = panel.copy(dialog.panel()->summaryRect());
    EXPECT_NE(summary, summary.copy(0, 0, 1, 1).scaled(summary.size())) << "the summary line";

    // The paint frees the preview's records: uncovering the dialog shows the empty field
    // without a summary line until the selection changes.
    EXPECT_EQ(dialog.panel()->design().stitches.count, 0);
    const QImage again = dialog.panel()->grab().toImage();
    const QImage field = again.copy(dialog.panel()->previewRect());
    EXPECT_TRUE(isBlack(field.pixel(0, 0)));
    EXPECT_EQ(drawnPixels(field, field.rect()), 0);
    const QImage noSummary = again.copy(dialog.panel()->summaryRect());
    EXPECT_EQ(noSummary, noSummary.copy(0, 0, 1, 1).scaled(noSummary.size()))
        << "only the panel's background under the field";
}

TEST_F(FileDialog, UnknownSuffixGivesAnEmptyFieldAndAFolderKeepsThePreview)
{
    CDSFileDialog dialog(nullptr);
    dialog.resize(900, 520);
    dialog.show();
    dialog.previewPath(file("pattern.tpl", dstBytes(2)));
    EXPECT_EQ(dialog.panel()->design().stitches.count, 0);
    const QImage empty = preview(dialog);
    EXPECT_EQ(drawnPixels(empty, empty.rect()), 0);

    dialog.previewPath(file("square.dst", dstBytes(1)));
    const int count = dialog.panel()->design().stitches.count;
    ASSERT_GT(count, 0);
    dialog.previewPath(temp.dir.path());
    EXPECT_EQ(dialog.panel()->design().stitches.count, count);
    const QImage kept = preview(dialog);
    EXPECT_GT(drawnPixels(kept, kept.rect()), 50);
}

TEST_F(FileDialog, PreviewCheckBoxSwitchesLoadingOff)
{
    CDSFileDialog dialog(nullptr);
    auto* box = dialog.findChild<QCheckBox*>(controlName(FileDialogControl::PreviewBox));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->text(), QStringLiteral("预览(P)"));
    EXPECT_EQ(dialog.findChild<QPushButton*>(controlName(FileDialogControl::Advanced))->text(),
              QStringLiteral("高级(S)"));
    EXPECT_TRUE(
        dialog.findChild<QPushButton*>(controlName(FileDialogControl::ExtractDesign))->isHidden());
    box->click();
    EXPECT_FALSE(dialog.previewSwitch());
    dialog.previewPath(file("square.dst", dstBytes(1)));
    EXPECT_EQ(dialog.panel()->design().stitches.count, 0);
}

TEST_F(FileDialog, MultipleSelectionTextPreviewsTheFirstName)
{
    const std::pair<QString, QString> cases[] = {
        {"/d/\"a.dst\" \"b.dst\" ", "/d/a.dst"},
        {"C:\\d\\\"x.dst\" \"y.dst\" ", "C:\\d\\x.dst"},
        {"/d/one.dst", "/d/one.dst"},
        {"\" ", "\" "},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(CDSFileDialog::firstOfSelection(input), expected) << input.toStdString();
}

TEST_F(FileDialog, FilterEntriesMatchInAnyLetterCase)
{
    const QStringList filters = CDSFileDialog::nameFiltersFrom(uiText(TextId::FileFilter, 2));
    ASSERT_EQ(filters.size(), 7);
    EXPECT_TRUE(filters[0].startsWith("Tajima Format(*.DST) ("));
    const auto matches = [](const QString& filter, const QString& name) {
        const QString patterns = filter.mid(filter.lastIndexOf(u'(') + 1).chopped(1);
        for (const QString& p : patterns.split(u' ', Qt::SkipEmptyParts))
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p))
                    .match(name)
                    .hasMatch())
                return true;
        return false;
    };
    for (const char* name : {"a.dst", "A.DST", "b.Dst"})
        EXPECT_TRUE(matches(filters[0], name)) << name;
    EXPECT_FALSE(matches(filters[0], "a.dsb"));
    for (const char* name : {"a.dsb", "b.TBF", "c.plt", "d.Dxf", "e.dst"})
        EXPECT_TRUE(matches(filters[6], name)) << name;
    EXPECT_FALSE(matches(filters[6], "f.dsr"));
}

TEST_F(FileDialog, ChooseReturnsTheSelectedFilesAndPreviewsTheClickedOne)
{
    const QString a = file("a.dst", dstBytes(1));
    const QString b = file("b.DST", dstBytes(3));
    int previewed = -1;
    QTimer::singleShot(100, [&] {
        auto* dialog = qobject_cast<CDSFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        // A click on b in the list selects it and makes it current.
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* model = qobject_cast<QFileSystemModel*>(view->model());
        const QModelIndex index = model->index(b);
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        // The summary outlives the paint that frees the records.
        waitFor([&] { return dialog->panel()->design().summary.stitchCount > 0; }, 3000);
        previewed = dialog->panel()->design().summary.colorCount;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("\"a.dst\" \"b.DST\""));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QStringList chosen = CDSFileDialog::choose(nullptr, temp.dir.path());
    chosen.sort();
    EXPECT_EQ(previewed, 3) << "the upper-case suffix is listed and previewed";
    EXPECT_EQ(chosen, (QStringList{a, b}));
}

TEST_F(FileDialog, EverySampleAndRealDesignPreviews)
{
    QStringList files;
    for (const char* folder : {HOOPWATCH_SAMPLES_DIR, HOOPWATCH_DESIGNS_DIR}) {
        QDirIterator it(QString::fromUtf8(folder), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (designFormatForPath(path.toStdString()))
                files << path;
        }
    }
    ASSERT_GE(files.size(), 5) << "the samples at least";
    CDSFileDialog dialog(nullptr);
    dialog.resize(1000, 540);
    dialog.show();
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        dialog.previewPath(path);
        const Design& design = dialog.panel()->design();
        if (path.startsWith(QStringLiteral(HOOPWATCH_SAMPLES_DIR))) {
            EXPECT_GT(design.summary.stitchCount, 100);
            EXPECT_GE(design.summary.colorCount, 3);
        }
        if (design.stitches.count > 1) {
            const QImage image = preview(dialog);
            EXPECT_GT(drawnPixels(image, image.rect()), 10);
        }
    }
}
