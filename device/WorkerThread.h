#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

// The thread of one device worker, held by the dialog that started it.
//
// start() moves the worker to a new thread: the thread's started() runs the
// worker's process(), and the worker's finished signal quits the thread.
// The quit is a direct call from the worker's thread, so the thread also ends
// while the GUI thread is blocked waiting for it (a queued quit would never
// arrive then).
//
// join() waits for the thread, then deletes the worker and the thread. The
// destructor joins, so a dialog that holds this after its DeviceConnection
// never lets the worker outlive the connection it uses. Dialogs join in the
// slot that receives the worker's finished signal, before they use what the
// worker left in the connection.
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;

    // Prepares the thread; the caller connects its own slots, then calls run().
    template <class Worker, class... Args>
    QThread *start(Worker *worker, void (Worker::*finished)(Args...))
    {
        join();
        auto *thread = new QThread;
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::started, worker, &Worker::process);
        QObject::connect(worker, finished, thread, &QThread::quit, Qt::DirectConnection);
        // The last thing the thread does. Qt's own locks are invisible to
        // race detectors; this store and the load in join() show them that
        // everything the worker did comes before what the GUI thread does next.
        auto ended = std::make_shared<std::atomic<bool>>(false);
        QObject::connect(
            thread, &QThread::finished, thread,
            [ended]() { ended->store(true, std::memory_order_release); }, Qt::DirectConnection);
        m_thread = thread;
        m_worker = worker;
        m_ended = ended;
        return thread;
    }

    void run()
    {
        if (m_thread)
            m_thread->start();
    }

    // Whether a started thread has not been joined yet.
    bool isActive() const { return m_thread != nullptr; }

    // Waits until the thread has ended, then deletes the worker and the thread.
    void join()
    {
        if (!m_thread)
            return;
        m_thread->wait();
        m_ended->load(std::memory_order_acquire);
        // The worker's thread has ended, so it may go from here.
        delete m_worker;
        delete m_thread;
        m_worker = nullptr;
        m_thread = nullptr;
        m_ended.reset();
    }

private:
    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;
    std::shared_ptr<std::atomic<bool>> m_ended;
};
