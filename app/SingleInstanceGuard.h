#pragma once

#include <QString>

#include <memory>

class FileLock;

// Makes sure one instance of the product runs per user.
//
// The mark of a running instance is a lock on a file in the user's own
// runtime folder, held for the whole run. The kernel lets go of it when the
// holder ends, however it ends, so nothing stale stays behind; and since the
// folder is the user's alone, another local user can neither hold the lock
// in our stead nor plant a link there. The lock is tried once and never
// waited for, so simultaneous launches settle at once: one runs.
class SingleInstanceGuard
{
public:
    enum Result {
        OnlyInstance,    // this process now holds the lock
        AnotherInstance, // a live instance of this user holds it
        Unguarded        // no private place for the lock: run anyway
    };

    explicit SingleInstanceGuard(const QString& key);
    ~SingleInstanceGuard();

    // Runs the guard once.
    Result check();
    // Where the lock lives for `key`; empty when the user has no private
    // runtime folder.
    static QString lockPath(const QString& key);

private:
    QString m_strKey;
    std::unique_ptr<FileLock> m_lock;
};
