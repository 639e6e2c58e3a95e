#include "QtRuntimeChoice.h"
#include "TQ905Panel.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    chooseQtRuntime();
    QApplication application(argc, argv);
    TQ905Panel panel;
    panel.show();
    return QApplication::exec();
}
