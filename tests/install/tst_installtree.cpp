#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// `cmake --install` lays out a program that runs where it was installed:
// the installed "-gendb" finds its core library, its device plug-in and its
// user guide inside the installed tree and nowhere else.
class InstallTreeTest : public QObject
{
    Q_OBJECT
private slots:
    void installedProgramFindsItsParts()
    {
        QTemporaryDir prefix;
        QTemporaryDir home;
        QVERIFY(prefix.isValid() && home.isValid());
        const QDir root(prefix.path());

        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(ORVANE_CMAKE_COMMAND),
                      {"--install", ORVANE_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(240000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        // The program alone in bin; its parts under lib/.../orvane and share.
        QCOMPARE(QDir(root.filePath("bin")).entryList(QDir::Files), QStringList {"orvane"});
        const QString plugin = findFile(root, "libtm4040.so");
        QVERIFY2(plugin.endsWith("/orvane/plugins/libtm4040.so"), qPrintable(plugin));
        QVERIFY(findFile(root, "liborvane.so").endsWith("/orvane/liborvane.so"));
        const QString guide = root.filePath("share/orvane/help/User guide.pdf");
        for (const char *file :
             {"share/orvane/help/User guide.pdf", "share/applications/orvane.desktop",
              "share/icons/hicolor/scalable/apps/orvane.svg",
              "share/icons/hicolor/48x48/apps/orvane.png", "share/man/man1/orvane.1.gz"})
            QVERIFY2(QFileInfo(root.filePath(file)).isFile(), file);
        QVERIFY(findFile(root, ".metainfo.xml").contains("/share/metainfo/"));

        // Only the installed tree is reachable, not the build tree.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LD_LIBRARY_PATH");
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess orvane;
        orvane.setProcessEnvironment(env);
        orvane.setProcessChannelMode(QProcess::MergedChannels);
        orvane.start(root.filePath("bin/orvane"), {"-gendb"});
        QVERIFY(orvane.waitForFinished(240000));
        const QString output = QString::fromUtf8(orvane.readAll());
        QVERIFY2(orvane.exitStatus() == QProcess::NormalExit && orvane.exitCode() == 0,
                 qPrintable(output));

        // It says where it found its parts, on the terminal and in its log.
        const QString log = findFile(QDir(home.filePath("data")), "orvane.log");
        QVERIFY(!log.isEmpty());
        QFile logFile(log);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QString logged = QString::fromUtf8(logFile.readAll());
        for (const QString &text : {output, logged}) {
            QVERIFY2(text.contains("Device plug-in tm4040 for " + QString::fromUtf8("КВР-ТМ4040")
                                   + " at " + plugin),
                     qPrintable(text));
            QVERIFY2(text.contains("User guide at " + guide), qPrintable(text));
        }
        QVERIFY(!findFile(QDir(home.filePath("data")), "doserdr22.db").isEmpty());

        QProcess ldd;
        ldd.start("ldd", {root.filePath("bin/orvane")});
        QVERIFY(ldd.waitForFinished(60000));
        const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        const QRegularExpression core("liborvane\\.so => (\\S+)");
        const QString used = core.match(libraries).captured(1);
        QVERIFY2(!used.isEmpty(), qPrintable(libraries));
        QCOMPARE(QFileInfo(used).canonicalFilePath(),
                 QFileInfo(findFile(root, "liborvane.so")).canonicalFilePath());
    }

private:
    // The first file under `dir` whose name ends with `ending`.
    static QString findFile(const QDir &dir, const QString &ending)
    {
        QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(ending))
                return path;
        }
        return QString();
    }
};

QTEST_GUILESS_MAIN(InstallTreeTest)
#include "tst_installtree.moc"
