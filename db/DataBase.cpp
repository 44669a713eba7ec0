#include "db/DataBase.h"

#include <QSqlDatabase>

namespace VDB {

namespace {
DataBase *g_instance = nullptr;
QString g_fileName;
} // namespace

DataBase *DataBase::instance()
{
    if (!g_instance)
        g_instance = new DataBase(g_fileName.isEmpty() ? defaultFileName() : g_fileName);
    return g_instance;
}

OperationResult DataBase::openOrCreate(bool) { instance(); return OperationResult(0); }
OperationResult DataBase::generateTestData() { return OperationResult(0); }
QString DataBase::dataDirectory() { return QString(); }
QString DataBase::defaultFileName() { return dataDirectory() + QStringLiteral("doserdr22.db"); }
void DataBase::setFileName(const QString &fileName) { g_fileName = fileName; }
void DataBase::destroyInstance() { delete g_instance; g_instance = nullptr; }
QString DataBase::fileName() const { return m_fileName; }
bool DataBase::isOpen() const { return false; }
QDate DataBase::today() const { return m_today.isValid() ? m_today : QDate::currentDate(); }
void DataBase::setToday(const QDate &date) { m_today = date; }
void DataBase::loadAll() {}
DeviceType *DataBase::deviceType(int) const { return nullptr; }
SharedUser DataBase::user(int) const { return {}; }
SharedGroup DataBase::group(int) const { return {}; }
SharedUser DataBase::userWithDevice(const DeviceType *, int) const { return {}; }
SharedUser DataBase::findUser(const QString &, const QString &) const { return {}; }
bool DataBase::login(const QString &, const QString &) { return false; }
bool DataBase::isMainAdministrator(const QString &, const QString &) const { return false; }
bool DataBase::addEvents(const QList<VDB::Event> &) { return false; }
bool DataBase::addEvent(const VDB::Event &) { return false; }
void DataBase::userEvents(QList<VDB::Event> &, const QDate &, const QDate &, const SharedUser &) const {}
void DataBase::deviceAssignmentEvents(QList<VDB::Event> &, const QDate &, const QDate &, const DeviceType *) const {}
double DataBase::userDose(quint16, const SharedUser &) const { return 0; }
double DataBase::groupDose(quint16, const SharedGroup &) const { return 0; }
OperationResult DataBase::validateUser(const User &, const SharedUser &) const { return {}; }
OperationResult DataBase::addUser(const User &) { return {3}; }
OperationResult DataBase::updateUser(const SharedUser &, const User &) { return {3}; }
OperationResult DataBase::deleteUser(const SharedUser &) { return {3}; }
bool DataBase::addGroup(const QString &, const QString &, int) { return false; }
bool DataBase::updateGroup(const SharedGroup &, const QString &, const QString &, int) { return false; }
bool DataBase::deleteGroup(const SharedGroup &, const SharedGroup &) { return false; }
bool DataBase::setDeviceUsage(const SharedGroup &, bool, const QString &) { return false; }
bool DataBase::assignDevice(const SharedUser &, DeviceType *, int, const QDateTime &, const QString &) { return false; }
bool DataBase::unassignDevice(const SharedUser &) { return false; }
bool DataBase::updateOptions(const Options &) { return false; }
bool DataBase::saveThresholds(const QList<int> &, const QList<ThresholdData> &, const QList<SharedThreshold> &) { return false; }
bool DataBase::saveThresholds(const QList<ThresholdChange> &) { return false; }
void DataBase::setUserGroups(const SharedUser &, const QList<SharedGroup> &) {}

DataBase::DataBase(const QString &fileName) : m_fileName(fileName) {}
DataBase::~DataBase() = default;

} // namespace VDB
