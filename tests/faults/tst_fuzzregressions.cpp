// Inputs that the fuzz targets (fuzz/) once broke, kept as tests of the
// program's own paths so that the fault cannot come back unnoticed.

#include "common/TestDatabase.h"
#include "db/Options.h"

#include <QtTest>

namespace {

// One streamed colour: spec byte, then alpha, red, green, blue and padding
// as big-endian 16-bit values.
QByteArray streamedColor(quint8 spec, quint16 red, quint16 green, quint16 blue)
{
    QByteArray bytes(1, char(spec));
    for (quint16 value : {quint16(0xFFFF), red, green, blue, quint16(0)}) {
        bytes.append(char(value >> 8));
        bytes.append(char(value & 0xFF));
    }
    return bytes;
}

} // namespace

class FuzzRegressionsTest : public QObject
{
    Q_OBJECT
private slots:
    void colourOfUnknownKindReadsInvalid_data();
    void colourOfUnknownKindReadsInvalid();
    void databaseWithDamagedColoursOpens();
};

void FuzzRegressionsTest::colourOfUnknownKindReadsInvalid_data()
{
    QTest::addColumn<quint8>("spec");
    QTest::newRow("0xFF") << quint8(0xFF);
    QTest::newRow("6, one past the last kind") << quint8(6);
    QTest::newRow("0x80") << quint8(0x80);
}

// A colour list whose spec byte names no colour model used to be streamed
// into a QColor as it was, leaving a colour of an impossible kind (undefined
// behaviour on every use). It reads as invalid; its neighbours are unharmed.
void FuzzRegressionsTest::colourOfUnknownKindReadsInvalid()
{
    QFETCH(quint8, spec);
    const QByteArray blob = streamedColor(1, 0x8888, 0x7575, 0xFAFA)
        + streamedColor(spec, 0x1111, 0x2222, 0x3333) + streamedColor(1, 0xFEFE, 0x8181, 0x1E1E)
        + streamedColor(0, 0, 0, 0);
    QVector<QColor> colors(4, Qt::white);
    Options::decodeColors(blob, colors);
    QCOMPARE(colors.at(0), QColor(0x88, 0x75, 0xFA));
    QVERIFY(!colors.at(1).isValid());
    QCOMPARE(colors.at(2), QColor(0xFE, 0x81, 0x1E));
    QVERIFY(!colors.at(3).isValid());

    // A list cut inside the damaged colour leaves the rest invalid too.
    Options::decodeColors(blob.left(16), colors);
    QCOMPARE(colors.at(0), QColor(0x88, 0x75, 0xFA));
    for (int channel = 1; channel < 4; ++channel)
        QVERIFY(!colors.at(channel).isValid());
}

// The same through the store: a damaged Options row does not stop the start.
void FuzzRegressionsTest::databaseWithDamagedColoursOpens()
{
    TestSupport::TestDatabase database;
    QVERIFY(database.isValid());
    const QByteArray blob = streamedColor(0xFF, 1, 2, 3) + streamedColor(1, 0, 0xBFBF, 0x3030);
    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("UPDATE 'Options' SET edColors = X'%1'")
                                                .arg(QString::fromLatin1(blob.toHex()))));
    database.reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    const Options &options = database.db()->options();
    QVERIFY(!options.edColor(0).isValid());
    QCOMPARE(options.edColor(1), QColor(0, 0xBF, 0x30));
    QVERIFY(!options.edColor(2).isValid());
}

QTEST_MAIN(FuzzRegressionsTest)
#include "tst_fuzzregressions.moc"
