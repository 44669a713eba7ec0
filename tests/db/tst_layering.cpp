// The layers include one way: the data store knows nothing above it, the
// report engine knows no database, and the plug-in knows only the contract.

#include <QDirIterator>
#include <QRegularExpression>
#include <QtTest>

class LayeringTest : public QObject
{
    Q_OBJECT
private slots:
    void includesRunOneWay_data();
    void includesRunOneWay();

private:
    // The project headers that the sources under `folder` include.
    static QStringList projectIncludes(const QString &folder);
};

QStringList LayeringTest::projectIncludes(const QString &folder)
{
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    const QString root = qEnvironmentVariable("ORVANE_SOURCE_DIR");
    QStringList found;
    QDirIterator files(root + QLatin1Char('/') + folder,
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = include.globalMatch(text);
        while (matches.hasNext()) {
            const QString header = matches.next().captured(1);
            if (header.contains(QLatin1Char('/')))
                found << header;
        }
    }
    return found;
}

void LayeringTest::includesRunOneWay_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("above"); // folders it must not include from
    const QStringList program {"app/", "db/", "device/", "dose/", "ui/", "report/"};
    QTest::newRow("data store") << "db"
                                << QStringList {"app/", "device/", "dose/", "ui/", "report/"};
    QTest::newRow("report engine")
        << "report" << QStringList {"app/", "db/", "device/", "dose/", "ui/"};
    QTest::newRow("plug-in") << "plugins/tm4040" << program;
}

void LayeringTest::includesRunOneWay()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, above);
    QVERIFY(!qEnvironmentVariableIsEmpty("ORVANE_SOURCE_DIR"));
    const QStringList headers = projectIncludes(folder);
    QVERIFY(!headers.isEmpty());
    for (const QString &header : headers) {
        // The contract header is shared by both sides of the plug-in boundary.
        if (header == QLatin1String("device/PluginInterface.h"))
            continue;
        for (const QString &prefix : above)
            QVERIFY2(!header.startsWith(prefix), qPrintable(folder + " includes " + header));
    }
}

QTEST_GUILESS_MAIN(LayeringTest)
#include "tst_layering.moc"
