#include "ui/WorkstationLayout.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <numeric>

namespace {

// A widget's path of object names below the window; empty when one of them
// has no name, as with the splitters a dialog makes on the fly.
QString pathOf(const QWidget *widget, const QWidget *window)
{
    QStringList names;
    for (const QObject *o = widget; o && o != window; o = o->parent()) {
        if (o->objectName().isEmpty() || o->objectName().startsWith(QLatin1String("qt_")))
            return QString();
        names.prepend(o->objectName());
    }
    return names.join(QLatin1Char('/'));
}

// Tables' column headers and the splitters of the pages.
template<class Visit> void forEachKept(const QWidget *window, Visit visit)
{
    for (QSplitter *splitter : window->findChildren<QSplitter *>()) {
        const QString path = pathOf(splitter, window);
        if (!path.isEmpty())
            visit(QStringLiteral("splitter/") + path, splitter,
                  static_cast<QHeaderView *>(nullptr));
    }
    for (QTableView *table : window->findChildren<QTableView *>()) {
        const QString path = pathOf(table, window);
        if (!path.isEmpty())
            visit(QStringLiteral("columns/") + path, static_cast<QSplitter *>(nullptr),
                  table->horizontalHeader());
    }
}

const char *const MainSplitter = "mainSplitter";

// Only a program that named itself has settings of its own; a window made
// by a test that did not keeps the layout of its form.
bool hasSettings()
{
    return !QCoreApplication::organizationName().isEmpty();
}

} // namespace

QString WorkstationLayout::groupOf(const QWidget *window)
{
    return QStringLiteral("layout/") + window->objectName();
}

void WorkstationLayout::restore(QMainWindow *window)
{
    if (!hasSettings())
        return;
    QSettings settings;
    settings.beginGroup(groupOf(window));
    const QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    if (geometry.isEmpty() || !window->restoreGeometry(geometry)) {
        // First start at this desk: a laptop's screen is used whole, a
        // larger one gets a window that leaves room around it.
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
        if (available.width() <= 1440 || available.height() <= 900) {
            // Also where no window manager maximises it.
            window->setGeometry(available);
            window->setWindowState(window->windowState() | Qt::WindowMaximized);
        } else {
            window->resize(1280, 860);
            window->move(available.center() - window->rect().center());
        }
    }
    // The tree column's width alone: which page is shown is the tree's matter.
    // Without a width of its own the tree takes what its names need.
    const int treeWidth = settings.value(QStringLiteral("treeWidth"), 260).toInt();
    if (auto *main = window->findChild<QSplitter *>(QLatin1String(MainSplitter));
        main && treeWidth > 0) {
        // Once the window is shown and laid out: before, the splitter
        // rescales whatever it is given to its first real width.
        QTimer::singleShot(0, main, [main, treeWidth]() {
            QList<int> sizes = main->sizes();
            const int total = std::accumulate(sizes.cbegin(), sizes.cend(), 0);
            if (sizes.isEmpty() || total <= treeWidth)
                return;
            sizes[0] = treeWidth;
            for (int i = 1; i < sizes.size(); ++i)
                sizes[i] = main->widget(i)->isHidden() ? 0 : total - treeWidth;
            main->setSizes(sizes);
        });
    }
    forEachKept(window, [&settings](const QString &key, QSplitter *splitter, QHeaderView *header) {
        const QByteArray state = settings.value(key).toByteArray();
        if (state.isEmpty())
            return;
        if (splitter && splitter->objectName() != QLatin1String(MainSplitter))
            splitter->restoreState(state);
        else if (header)
            header->restoreState(state);
    });
    settings.endGroup();
}

void WorkstationLayout::save(const QMainWindow *window)
{
    if (!hasSettings())
        return;
    QSettings settings;
    settings.beginGroup(groupOf(window));
    settings.setValue(QStringLiteral("geometry"), window->saveGeometry());
    if (auto *main = window->findChild<QSplitter *>(QLatin1String(MainSplitter));
        main && !main->sizes().isEmpty())
        settings.setValue(QStringLiteral("treeWidth"), main->sizes().at(0));
    forEachKept(window, [&settings](const QString &key, QSplitter *splitter, QHeaderView *header) {
        if (splitter && splitter->objectName() != QLatin1String(MainSplitter))
            settings.setValue(key, splitter->saveState());
        else if (header)
            settings.setValue(key, header->saveState());
    });
    settings.endGroup();
}
