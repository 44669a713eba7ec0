#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>

// The thread of one device worker, held by the dialog that started it.
//
// start() moves the worker to a new thread: the thread's started() runs the
// worker's process(); the worker's finished signal quits the thread and
// deletes the worker there; the ended thread deletes itself. The quit is a
// direct call from the worker's thread, so the thread also ends while the GUI
// thread is blocked waiting for it (a queued quit would never arrive then).
//
// join() waits for the thread and deletes it. The destructor joins, so a
// dialog that holds this after its DeviceConnection never lets the worker
// outlive the connection it uses.
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    // Prepares the thread; the caller connects its own slots, then calls run().
    template<class Worker, class... Args>
    QThread *start(Worker *worker, void (Worker::*finished)(Args...))
    {
        join();
        auto *thread = new QThread;
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, &Worker::process);
        QObject::connect(worker, finished, thread, &QThread::quit, Qt::DirectConnection);
        QObject::connect(worker, finished, worker, &QObject::deleteLater);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        m_thread = thread;
        return thread;
    }

    void run()
    {
        if (m_thread)
            m_thread->start();
    }

    // Whether a started thread has not been joined yet.
    bool isActive() const { return !m_thread.isNull(); }

    // Waits until the thread has ended and deletes it.
    void join()
    {
        if (!m_thread)
            return;
        m_thread->wait();
        delete m_thread.data();
        m_thread.clear();
    }

private:
    QPointer<QThread> m_thread;
};
