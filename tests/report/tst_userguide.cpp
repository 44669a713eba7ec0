#include <QtTest>

// The build writes the user guide beside the program, where the main
// window's "Справка" opens it.
class UserGuideTest : public QObject
{
    Q_OBJECT
private slots:
    void guideIsBesideTheProgram()
    {
        // Tests run from <build>/bin/tests, the program from <build>/bin.
        const QString path
            = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../help"))
                  .filePath(QStringLiteral("User guide.pdf"));
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray pdf = file.readAll();
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY(pdf.trimmed().endsWith("%%EOF"));
        // The title page with the contents, and the guide itself.
        const int pages = pdf.count("/Type /Page") - pdf.count("/Type /Pages");
        QVERIFY2(pages >= 6, qPrintable(QString::number(pages)));
        // Cyrillic text needs an embedded font that has it.
        QVERIFY(pdf.contains("DejaVuSans"));
    }
};

QTEST_MAIN(UserGuideTest)
#include "tst_userguide.moc"
