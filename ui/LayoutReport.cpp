#include "ui/LayoutReport.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {

void appendLayout(QWidget* window, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    const QString kind = QString::fromLatin1(window->metaObject()->className());
    const auto line = [&](const QString& name, const QRect& rect, const QPoint& screen) {
        out << kind << ' ' << name << ' ' << rect.x() << ' ' << rect.y() << ' ' << rect.width()
            << ' ' << rect.height() << ' ' << screen.x() << ' ' << screen.y() << '\n';
    };
    line(QStringLiteral("window"), QRect(QPoint(0, 0), window->size()),
         window->mapToGlobal(QPoint(0, 0)));
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->objectName().isEmpty() || !child->isVisibleTo(window) || child->isWindow())
            continue;
        const QPoint at = child->mapTo(window, QPoint(0, 0));
        line(child->objectName(), QRect(at, child->size()), child->mapToGlobal(QPoint(0, 0)));
    }
}

class LayoutReport : public QObject
{
public:
    LayoutReport(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            QPointer<QWidget> widget = static_cast<QWidget*>(watched);
            // Once the window manager has placed it: the screen positions are then final.
            if (widget->isWindow())
                QTimer::singleShot(500, this, [this, widget] {
                    if (widget && widget->isVisible())
                        appendLayout(widget, m_path);
                });
        }
        return false;
    }

private:
    QString m_path;
};

} // namespace

void installLayoutReport(const QString& path)
{
    if (path.isEmpty() || !qApp)
        return;
    qApp->installEventFilter(new LayoutReport(path, qApp));
}
