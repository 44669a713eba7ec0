#include "UserGuideWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

// usage: orvane_userguide <guide.md> <output.pdf>
int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() != 3) {
        err << "usage: orvane_userguide <guide.md> <output.pdf>\n";
        return 2;
    }
    QFile source(arguments.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        err << "cannot read " << arguments.at(1) << ": " << source.errorString() << '\n';
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());
    QString error;
    if (!UserGuideWriter().write(markdown, arguments.at(2), &error)) {
        err << "cannot write " << arguments.at(2) << ": " << error << '\n';
        return 1;
    }
    return 0;
}
