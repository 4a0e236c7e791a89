#include <algorithm>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include "control/LinkState.h"
#include "control/StatusDisplay.h"
#include "ui/BatchSending.h"
#include "ui/CAboutDlg.h"
#include "ui/CColorSetDlg.h"
#include "ui/CDSFileDialog.h"
#include "ui/CDesignSet.h"
#include "ui/CHoopwatchDlg.h"
#include "ui/CSetLanguage.h"
#include "ui/ControlIds.h"
#include "ui/DesignFileTypes.h"
#include "ui/FunctionButton.h"
#include "ui/QtTranslations.h"
#include "UiTestSupport.h"

using namespace ui_test;

namespace {

QString plain(QString text)
{
    // A mnemonic's '&' is not drawn; "&&" draws one.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

int widestLine(const QFontMetrics& fm, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

// Wrapped text fits when every word fits the width and the wrapped lines fit the height.
bool wrapsInto(const QFontMetrics& fm, const QString& text, const QSize& room)
{
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("[ \n]")), Qt::SkipEmptyParts)) {
        if (fm.horizontalAdvance(word) > room.width())
            return false;
    }
    return fm.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap, text).height() <=
           room.height();
}

// Every visible control of `root` whose text the font would clip, described for the failure
// message; empty when all fit.
QStringList clippedTexts(QWidget* root, const QString& where)
{
    QStringList clipped;
    const auto report = [&](QWidget* w, const QString& text, int need, int have) {
        clipped << QStringLiteral("%1: %2 \"%3\" needs %4 px, has %5")
                       .arg(where,
                            w->objectName().isEmpty() ? w->metaObject()->className()
                                                      : w->objectName(),
                            text)
                       .arg(need)
                       .arg(have);
    };
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(root))
            continue;
        const QFontMetrics fm = w->fontMetrics();
        const QStyle* style = w->style();
        if (qobject_cast<QToolButton*>(w)) {
            continue; // icons
        } else if (auto* box = qobject_cast<QCheckBox*>(w); box || qobject_cast<QRadioButton*>(w)) {
            const auto* button = static_cast<QAbstractButton*>(w);
            const QString text = plain(button->text());
            const int need = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                             style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w) +
                             fm.horizontalAdvance(text);
            if (!text.isEmpty() && (need > w->width() || fm.height() > w->height()))
                report(w, text, need, w->width());
        } else if (auto* function = qobject_cast<FunctionButton*>(w)) {
            const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) / 2 + 2;
            const QSize room = w->size() - QSize(2 * margin, 2 * margin);
            if (!wrapsInto(fm, function->text(), room))
                report(w, function->text(), widestLine(fm, function->text()), room.width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            const QString text = plain(button->text());
            const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
            const int need = widestLine(fm, text) + 2 * frame + 4;
            const int height = int(text.count(u'\n') + 1) * fm.height();
            if (!text.isEmpty() && (need > w->width() || height > w->height()))
                report(w, text, need, w->width());
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            const QString text = plain(label->text());
            if (text.isEmpty() || label->textFormat() == Qt::RichText)
                continue;
            const QSize room = label->contentsRect().size();
            const bool fits = label->wordWrap()
                                  ? wrapsInto(fm, text, room)
                                  : widestLine(fm, text) <= room.width() &&
                                        fm.height() * int(text.count(u'\n') + 1) <= room.height();
            if (!fits)
                report(w, text, widestLine(fm, text), room.width());
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            const int need = fm.horizontalAdvance(plain(group->title())) + 16;
            if (need > w->width())
                report(w, group->title(), need, w->width());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const int need = fm.horizontalAdvance(edit->text()) + 8;
            if (need > w->width())
                report(w, edit->text(), need, w->width());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const int need = fm.horizontalAdvance(combo->currentText()) + 24;
            if (need > w->width())
                report(w, combo->currentText(), need, w->width());
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            for (int s = 0; s < header->count(); ++s) {
                if (header->isSectionHidden(s))
                    continue;
                const QString text =
                    header->model()->headerData(s, header->orientation()).toString();
                // The sort mark takes room beside the title of the sorted column.
                const int mark = header->sortIndicatorSection() == s ? 14 : 0;
                const int need = fm.horizontalAdvance(text) + 8 + mark;
                if (need > header->sectionSize(s))
                    report(w, text, need, header->sectionSize(s));
            }
        }
    }
    // The cells of the detail view other than the name, which is the user's.
    for (auto* view : root->findChildren<QTreeView*>()) {
        if (!view->isVisibleTo(root))
            continue;
        const QModelIndex parent = view->rootIndex();
        const QFontMetrics fm = view->fontMetrics();
        for (int row = 0; row < std::min(view->model()->rowCount(parent), 50); ++row) {
            for (int column = 1; column < view->model()->columnCount(parent); ++column) {
                if (view->isColumnHidden(column))
                    continue;
                const QString text = view->model()->index(row, column, parent).data().toString();
                // The item text keeps the focus frame's margin and one pixel at each side.
                const int margin =
                    view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
                const int need = fm.horizontalAdvance(text) + 2 * margin;
                if (need > view->columnWidth(column))
                    report(view, text, need, view->columnWidth(column));
            }
        }
    }
    return clipped;
}

class TextFit : public QuietMessages
{
protected:
    void SetUp() override
    {
        QuietMessages::SetUp();
        temp.writeMachines({"127.0.0.1"});
        for (const char* name : {"a.dst", "b.dsb", "c.tbf", "d.dsr"})
            writeFile(temp.file(name), dstBytes(30));
    }
    void TearDown() override
    {
        applyQtLanguage(2);
        QuietMessages::TearDown();
    }
    void setLanguage(int language)
    {
        temp.config.writeText("Z62Language", "Language", std::to_string(language));
    }
    // Runs `inspect` on the file dialog that `open` shows modally, then cancels it.
    template <typename Open>
    void inspectModal(Open open, const std::function<void(QFileDialog&)>& inspect)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(waitFor(
                [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                3000));
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* model = dialog->findChild<QFileSystemModel*>();
            ASSERT_TRUE(model);
            waitFor([&] { return model->rowCount(model->index(dialog->directory().path())) >= 1; },
                    3000);
            settle(100);
            inspect(*dialog);
            seen = true;
            dialog->reject();
        });
        open();
        EXPECT_TRUE(seen);
    }

    TempConfig temp;
    LinkState state;
};

} // namespace

TEST_F(TextFit, EveryControlOfEveryWindowShowsItsWholeTextInBothLanguages)
{
    const LinkSettings settings = temp.settings();
    QStringList clipped;
    for (int language : {1, 2}) {
        setLanguage(language);
        const QString lang = language == 1 ? QStringLiteral("zh") : QStringLiteral("en");
        {
            CHoopwatchDlg window(temp.config, settings, state);
            window.show();
            clipped << clippedTexts(&window, lang + " main window");
            // The texts the status timer puts on 1004 and 1006.
            for (std::uint8_t work : {0, 1}) {
                for (std::uint8_t embroidery : {0, 1}) {
                    MachineStatus status;
                    status.workState = work;
                    status.embroideryState = embroidery;
                    state.machineStatus.store(status);
                    window.timer(CHoopwatchDlg::LabelTimer)->setInterval(1);
                    settle(20);
                    clipped << clippedTexts(&window, lang + " main window, status labels");
                }
            }
            window.done(0);
        }
        {
            const std::int32_t numbers[3] = {1, 2, 3};
            CDesignSet dialog(nullptr, temp.config, settings, state, "127.0.0.1", numbers, 3);
            dialog.show();
            clipped << clippedTexts(&dialog, lang + " parameter dialog");
            for (ParamControl id :
                 {ParamControl::PriorityMode, ParamControl::RepeatMode, ParamControl::RepeatOrder})
                dialog.findChild<QPushButton*>(controlName(id))->click();
            clipped << clippedTexts(&dialog, lang + " parameter dialog, other modes");
        }
        {
            CSetLanguage dialog(temp.config);
            dialog.show();
            clipped << clippedTexts(&dialog, lang + " language dialog");
        }
        {
            CAboutDlg dialog(language);
            dialog.show();
            clipped << clippedTexts(&dialog, lang + " about box");
        }
        for (int position : {0, 14}) {
            CColorSetDlg picker(nullptr, position, defaultColorPalette(), temp.config);
            QFont bold = picker.font();
            bold.setBold(true);
            const QFontMetrics fm(bold);
            // A title bar: icon, caption, close button.
            const int need = fm.horizontalAdvance(picker.windowTitle()) + 3 * fm.height();
            if (need > picker.width())
                clipped << QStringLiteral("%1 picker title \"%2\" needs %3 px, has %4")
                               .arg(lang, picker.windowTitle())
                               .arg(need)
                               .arg(picker.width());
        }
        applyQtLanguage(language);
        inspectModal(
            [&] { CDSFileDialog::choose(nullptr, temp.dir.path()); },
            [&](QFileDialog& dialog) { clipped << clippedTexts(&dialog, lang + " file dialog"); });
        BatchSending batch(temp.config, settings);
        std::string path, name;
        inspectModal(
            [&] { batch.run(nullptr, &path, &name); },
            [&](QFileDialog& dialog) {
                dialog.setDirectory(temp.dir.path());
                auto* model = dialog.findChild<QFileSystemModel*>();
                waitFor([&] { return model->rowCount(model->index(temp.dir.path())) >= 1; }, 3000);
                settle(100);
                clipped << clippedTexts(&dialog, lang + " batch dialog");
            });
    }
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join(u'\n').toStdString();
}

TEST_F(TextFit, QtsOwnTextsFollowTheLanguageAtStartAndWhenItChanges)
{
    const LinkSettings settings = temp.settings();
    setLanguage(1);
    CHoopwatchDlg window(temp.config, settings, state);
    const auto cancelText = [] {
        QProgressDialog progress;
        return progress.findChild<QPushButton*>()->text();
    };
    const auto okText = [] {
        QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Ok);
        return box.button(QMessageBox::Ok)->text();
    };
    EXPECT_NE(plain(cancelText()), QStringLiteral("Cancel"));
    EXPECT_NE(plain(okText()), QStringLiteral("OK"));
    inspectModal(
        [&] { CDSFileDialog::choose(&window, temp.dir.path()); },
        [&](QFileDialog& dialog) {
            EXPECT_NE(dialog.findChild<QLabel*>("lookInLabel")->text(), QStringLiteral("Look in:"));
            EXPECT_NE(dialog.findChild<QLabel*>("fileNameLabel")->text(),
                      QStringLiteral("File &name:"));
            auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
            EXPECT_NE(plain(buttons->button(QDialogButtonBox::Cancel)->text()),
                      QStringLiteral("Cancel"));
            auto* model = dialog.findChild<QFileSystemModel*>();
            const QModelIndex file = model->index(QString::fromStdString(temp.file("a.dst")));
            EXPECT_EQ(model->index(file.row(), 2, file.parent()).data().toString(),
                      QStringLiteral("DST 花样文件"));
        });

    setLanguage(2);
    window.applyLanguage();
    EXPECT_EQ(plain(cancelText()), QStringLiteral("Cancel"));
    EXPECT_EQ(plain(okText()), QStringLiteral("OK"));
    BatchSending batch(temp.config, settings);
    std::string path, name;
    inspectModal(
        [&] { batch.run(&window, &path, &name); },
        [&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.findChild<QLabel*>("lookInLabel")->text(), QStringLiteral("Look in:"));
            // The filter reads as the import dialog's does.
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            EXPECT_EQ(types->itemText(0), QStringLiteral("Tajima Format(*.DST)"));
            dialog.setDirectory(temp.dir.path());
            auto* model = dialog.findChild<QFileSystemModel*>();
            waitFor([&] { return model->rowCount(model->index(temp.dir.path())) >= 1; }, 3000);
            const QModelIndex at = model->index(QString::fromStdString(temp.file("a.dst")));
            const QModelIndex typeCell = model->index(at.row(), 2, at.parent());
            waitFor([&] { return !typeCell.data().toString().isEmpty(); }, 3000);
            EXPECT_EQ(typeCell.data().toString(), QStringLiteral("DST design file"));
        });
    window.done(0);
}

TEST_F(TextFit, EveryDesignFormatIsNamedInTheTypeColumn)
{
    applyQtLanguage(2);
    DesignFileTypes types;
    for (const auto& [file, type] :
         {std::pair{"a.dst", "DST design file"}, std::pair{"b.dsb", "DSB design file"},
          std::pair{"c.tbf", "TBF design file"}, std::pair{"d.dsr", "DSR design file"}}) {
        EXPECT_EQ(types.type(QFileInfo(QString::fromStdString(temp.file(file)))),
                  QString::fromLatin1(type));
    }
    const QString other = QString::fromStdString(temp.file("notes.txt"));
    writeFile(other.toStdString(), {'x'});
    EXPECT_FALSE(types.type(QFileInfo(other)).contains(QStringLiteral("design")));
    applyQtLanguage(1);
    EXPECT_EQ(types.type(QFileInfo(QString::fromStdString(temp.file("b.dsb")))),
              QStringLiteral("DSB 花样文件"));
}
