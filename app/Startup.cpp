#include "app/Startup.h"

#include "ui/OrvaneWindow.h"

#include <QApplication>

namespace Startup {

int run(int argc, char *argv[])
{
    QApplication app(argc, argv);
    OrvaneWindow window;
    window.show();
    return app.exec();
}

} // namespace Startup
