#include "app/UserGuide.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "ui/OrvaneWindow.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Takes the URL that QDesktopServices is asked to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

// "Справка" opens the guide where it is installed, and says where the guide
// is when nothing can show it.
class HelpTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_db.reset(new TestSupport::TestDatabase);
        QVERIFY(m_db->isValid());
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        QDir root(m_dir->path());
        QVERIFY(root.mkpath("bin") && root.mkpath("share/orvane/help"));
        QFile guide(root.filePath("share/orvane/help/User guide.pdf"));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        m_guide = guide.fileName();
        // Beside the executable first: there is none in this tree.
        UserGuide::setSearchDirectories(
            {root.filePath("bin/help"), root.filePath("share/orvane/help")});
        m_path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(root.filePath("bin")));
    }

    void cleanup()
    {
        qputenv("PATH", m_path);
        QDesktopServices::unsetUrlHandler("file");
        UserGuide::setSearchDirectories({});
        m_dir.reset();
        m_db.reset();
    }

    void opensTheInstalledGuide()
    {
        desktopPdfViewer("viewer.desktop");
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        OrvaneWindow w;
        w.findChild<QAction *>("actionHelp")->trigger();
        QCOMPARE(catcher.urls, QList<QUrl> {QUrl::fromLocalFile(m_guide)});
    }

    void withoutAViewerSaysWhereTheGuideIs_data()
    {
        QTest::addColumn<QByteArray>("viewer");
        QTest::addColumn<bool>("handler");
        // The desktop knows no program for PDF files.
        QTest::newRow("no viewer") << QByteArray() << true;
        // The desktop cannot even start one (no launcher on this platform).
        QTest::newRow("open fails") << QByteArray("viewer.desktop") << false;
    }

    void withoutAViewerSaysWhereTheGuideIs()
    {
        QFETCH(QByteArray, viewer);
        QFETCH(bool, handler);
        desktopPdfViewer(viewer);
        UrlCatcher catcher;
        if (handler)
            QDesktopServices::setUrlHandler("file", &catcher, "open");
        OrvaneWindow w;
        auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
        w.findChild<QAction *>("actionHelp")->trigger();
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, QStringLiteral("Справка"));
        QVERIFY2(seen->text.contains(QDir::toNativeSeparators(m_guide)), qPrintable(seen->text));
        QVERIFY(catcher.urls.isEmpty());
    }

    void aMissingGuideIsNamedWhereItBelongs()
    {
        QVERIFY(QFile::remove(m_guide));
        desktopPdfViewer("viewer.desktop");
        OrvaneWindow w;
        auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
        w.findChild<QAction *>("actionHelp")->trigger();
        QVERIFY(seen->seen);
        for (const QString &path : UserGuide::expectedPaths())
            QVERIFY2(seen->text.contains(QDir::toNativeSeparators(path)), qPrintable(seen->text));
    }

private:
    // An xdg-mime that names `desktopFile` as the PDF viewer, or none.
    void desktopPdfViewer(const QByteArray &desktopFile)
    {
        QFile script(QDir(m_dir->path()).filePath("bin/xdg-mime"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n");
        if (!desktopFile.isEmpty())
            script.write("echo " + desktopFile + "\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }

    QScopedPointer<TestSupport::TestDatabase> m_db;
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_guide;
    QByteArray m_path;
};

QTEST_MAIN(HelpTest)
#include "tst_help.moc"
