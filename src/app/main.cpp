#include "ShutdownWatch.h"
#include "TQ905Panel.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TQ905Panel panel;
    const ShutdownWatch shutdownWatch(panel);
    panel.show();
    return QApplication::exec();
}
