#include "app/LibraryPath.h"
#include "app/Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

// The library directory beside the executable must be searched first for
// plug-ins loaded by bare name, and the loader's own search must still work.
class LibraryPathTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { LibraryPath::setLibraryDirectory(QString()); }

    void resolvesFileInLibraryDirectory()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("libsample.so")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        LibraryPath::setLibraryDirectory(dir.path());
        QCOMPARE(LibraryPath::libraryDirectory(), QDir(dir.path()).absolutePath());
        QCOMPARE(LibraryPath::resolve(QStringLiteral("sample")),
                 QDir(dir.path()).absoluteFilePath(QStringLiteral("libsample.so")));
        // Names the directory does not hold, and names that are paths
        // already, go to the loader unchanged.
        QCOMPARE(LibraryPath::resolve(QStringLiteral("other")), QStringLiteral("other"));
        QCOMPARE(LibraryPath::resolve(QStringLiteral("libsample.so")),
                 QStringLiteral("libsample.so"));
        QCOMPARE(LibraryPath::resolve(QStringLiteral("../sample")), QStringLiteral("../sample"));
        QCOMPARE(LibraryPath::resolve(QString()), QString());
    }

    void directoryIsNotAFile()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("libsample.so")));
        LibraryPath::setLibraryDirectory(dir.path());
        QCOMPARE(LibraryPath::resolve(QStringLiteral("sample")), QStringLiteral("sample"));
    }

    void withoutDirectoryNamesStayBare()
    {
        QCOMPARE(LibraryPath::libraryDirectory(), QString());
        QCOMPARE(LibraryPath::resolve(QStringLiteral("tm4040")), QStringLiteral("tm4040"));
    }

    // A library the loader cannot find by name loads once it sits in the
    // library directory.
    void loadsFromLibraryDirectoryFirst()
    {
        const QString source = QStringLiteral("/usr/lib/x86_64-linux-gnu/libz.so.1");
        if (!QFile::exists(source))
            QSKIP("no system library to copy");
        QTemporaryDir dir;
        const QString name = QStringLiteral("orvanelibpathprobe");
        QVERIFY(QFile::copy(source,
                            dir.filePath(QStringLiteral("lib") + name + QStringLiteral(".so"))));

        QLibrary bare(name);
        QVERIFY(!bare.load());

        LibraryPath::setLibraryDirectory(dir.path());
        QLibrary found(LibraryPath::resolve(name));
        QVERIFY2(found.load(), qPrintable(found.errorString()));
        QVERIFY(found.resolve("zlibVersion"));
        found.unload();
    }

    void startupUsesMydllsBesideExecutable()
    {
        const QString exeDir = Startup::executableDirectory(nullptr);
        QCOMPARE(exeDir, QCoreApplication::applicationDirPath());
        Startup::addLibraryDirectory(exeDir);
        QCOMPARE(LibraryPath::libraryDirectory(),
                 QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("mydlls")));
        // Then the installed plug-in folder under the prefix's library folder.
        const QStringList dirs = LibraryPath::libraryDirectories();
        QCOMPARE(dirs.size(), 2);
        QVERIFY2(dirs.at(1).endsWith(QStringLiteral("/orvane/plugins")), qPrintable(dirs.at(1)));
        QVERIFY(QDir::cleanPath(dirs.at(1)).startsWith(QDir::cleanPath(exeDir + "/..") + "/lib"));
    }

    // Beside the executable first, then the installed folder.
    void searchesTheFoldersInOrder()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        const auto touch = [](const QTemporaryDir &dir, const char *name) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            return file.open(QIODevice::WriteOnly);
        };
        QVERIFY(touch(first, "libboth.so") && touch(second, "libboth.so"));
        QVERIFY(touch(second, "libsecond.so"));
        LibraryPath::setLibraryDirectories({first.path(), QString(), second.path()});
        QCOMPARE(LibraryPath::libraryDirectories().size(), 2);
        QCOMPARE(LibraryPath::resolve(QStringLiteral("both")),
                 QDir(first.path()).absoluteFilePath(QStringLiteral("libboth.so")));
        QCOMPARE(LibraryPath::resolve(QStringLiteral("second")),
                 QDir(second.path()).absoluteFilePath(QStringLiteral("libsecond.so")));
        QCOMPARE(LibraryPath::resolve(QStringLiteral("neither")), QStringLiteral("neither"));
    }
};

QTEST_GUILESS_MAIN(LibraryPathTest)
#include "tst_librarypath.moc"
