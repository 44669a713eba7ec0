// Any file opened as the program's database: the start-up check and, for a
// file that passes it, loading the caches and the event and dose reads.
//
// The bytes go to a file on a memory-backed file system when there is one,
// so that a run costs SQLite's work rather than the disk's.

#include "FuzzCheck.h"
#include "db/DataBase.h"
#include "db/Event.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtGlobal>

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// The C library's own allocator, which the address sanitizer leaves alone.
extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_realloc(void *pointer, size_t size);
extern "C" void __libc_free(void *pointer);

namespace {

QString g_path;

// SQLite comes uninstrumented from the system, so the sanitizer's allocator
// checks nothing in its memory, yet its many small allocations (parsing the
// schema of every file) took half of each run in that allocator. SQLite's
// memory comes from the C library instead, behind a size header; our code's
// and Qt's allocations still go through the sanitizer.
using Header = sqlite3_int64;

void *sqliteMalloc(int size)
{
    auto *block = static_cast<Header *>(__libc_malloc(size_t(size) + sizeof(Header)));
    if (!block)
        return nullptr;
    block[0] = size;
    return block + 1;
}

void sqliteFree(void *pointer)
{
    if (pointer)
        __libc_free(static_cast<Header *>(pointer) - 1);
}

void *sqliteRealloc(void *pointer, int size)
{
    auto *block = static_cast<Header *>(
        __libc_realloc(static_cast<Header *>(pointer) - 1, size_t(size) + sizeof(Header)));
    if (!block)
        return nullptr;
    block[0] = size;
    return block + 1;
}

int sqliteSize(void *pointer)
{
    return pointer ? int(static_cast<Header *>(pointer)[-1]) : 0;
}

int sqliteRoundup(int size)
{
    return (size + 7) & ~7;
}

int sqliteInit(void *)
{
    return SQLITE_OK;
}

void sqliteShutdown(void *) { }

void quiet(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The data store logs failing statements; the fuzzer's output is for
    // findings. Fatal messages still end the run.
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

void removeLeftovers()
{
    // A journal left by the previous input would be rolled back into this
    // one and make the result depend on the order of the runs.
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(g_path + QLatin1String(suffix));
}

void readEverything(VDB::DataBase *db)
{
    db->setToday(QDate(2011, 3, 24));
    const QDate from(2000, 1, 1), to(2099, 12, 31);
    int users = 0;
    for (const SharedUser &user : db->users()) {
        if (++users > 8)
            break;
        QList<VDB::Event> events;
        db->userEvents(events, from, to, user);
        for (const VDB::Event &event : qAsConst(events))
            FUZZ_CHECK(event.user == user);
        db->userDose(7, user);
    }
    int groups = 0;
    for (const SharedGroup &group : db->groups()) {
        if (++groups > 8)
            break;
        db->groupDose(365, group);
    }
    QList<VDB::Event> assignments;
    db->deviceAssignmentEvents(assignments, from, to);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static const sqlite3_mem_methods memory
        = {sqliteMalloc,  sqliteFree, sqliteRealloc,  sqliteSize,
           sqliteRoundup, sqliteInit, sqliteShutdown, nullptr};
    FUZZ_CHECK(sqlite3_config(SQLITE_CONFIG_MALLOC, &memory) == SQLITE_OK);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    // User photos are pixmaps, which need the GUI application object.
    static int argc = 1;
    static char name[] = "fuzz_database_file";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);

    const QString base
        = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString dir = base + QStringLiteral("/orvane-fuzz-%1").arg(::getpid());
    QDir().mkpath(dir);
    g_path = dir + QStringLiteral("/doserdr22.db");
    std::atexit([] {
        removeLeftovers();
        QDir().rmdir(QFileInfo(g_path).path());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    removeLeftovers();
    {
        QFile file(g_path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    VDB::DataBase::setFileName(g_path);
    const OperationResult result = VDB::DataBase::openOrCreate(false);
    FUZZ_CHECK(result.code == 0 || result.code == -1 || result.code == 1 || result.code == 3);
    FUZZ_CHECK((result.code == 0) == result.message.isEmpty());
    if (result.code == 0)
        readEverything(VDB::DataBase::instance());
    VDB::DataBase::destroyInstance();
    return 0;
}
