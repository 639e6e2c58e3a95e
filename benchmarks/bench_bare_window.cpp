// The floor for start-up and memory: a Qt Widgets program that shows one empty
// window and does nothing else, started by ./bench as the panel is.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.show();
    return QApplication::exec();
}
