#pragma once

#include <QSharedMemory>
#include <QString>

// Makes sure one instance of the product runs per user session.
//
// The product's shared-memory segment marks a running instance. On Linux a
// segment outlives an owner killed with SIGKILL, so a segment that merely
// exists proves nothing: detaching from it removes it when nobody else is
// attached, and only a segment that survives that belongs to a live
// instance. Two launches at the same moment are serialised by a file lock
// that the kernel releases when its holder dies.
class SingleInstanceGuard
{
public:
    enum Result {
        OnlyInstance,    // this process now holds the segment
        AnotherInstance, // a live instance holds it
        Unguarded        // neither attach nor create worked: run anyway
    };

    explicit SingleInstanceGuard(const QString& key);
    ~SingleInstanceGuard();

    // Runs the guard once. For AnotherInstance the segment is already
    // unlocked, so the caller may show a message box safely.
    Result check();

    QSharedMemory& memory() { return m_memory; }

private:
    bool attachLive();
    void writeOwnerName();

    QString m_strKey;
    QSharedMemory m_memory;
    int m_nLockFd = -1;
};
