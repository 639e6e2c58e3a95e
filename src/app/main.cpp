#include "TQ905Panel.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TQ905Panel panel;
    panel.show();
    return QApplication::exec();
}
