#include <QApplication>
#include <QDialog>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QDialog window;
    window.setWindowTitle(QStringLiteral("Hoopwatch"));
    window.resize(800, 600);
    return window.exec() == QDialog::Accepted ? 0 : 0;
}
