#pragma once

#include <QHash>
#include <QString>

// The calling thread's kept statements of one kind, by connection name and
// SQL text. A thread's connections are removed at its end too, each
// forgetting its statements first; a thread's objects go in the reverse order
// of their first use, so a connection may go after its thread's statements,
// when there is nothing left to forget.
template <typename Statement> class ThreadStatements {
public:
    // The statements kept on the connection, made empty at first use.
    static QHash<QString, Statement>& on(const QString& connectionName) {
        return mine().m_byConnection[connectionName];
    }
    static bool holds(const QString& connectionName, const QString& sql) {
        const auto found = mine().m_byConnection.constFind(connectionName);
        return found != mine().m_byConnection.constEnd() && found->contains(sql);
    }
    static void forget(const QString& connectionName, const QString& sql) {
        const auto found = mine().m_byConnection.find(connectionName);
        if (found != mine().m_byConnection.end())
            found->remove(sql);
    }
    // Drops every statement of the connection, or of every connection.
    static void forgetConnection(const QString& connectionName) {
        if (!gone())
            mine().m_byConnection.remove(connectionName);
    }
    static void forgetAll() {
        if (!gone())
            mine().m_byConnection.clear();
    }

private:
    ~ThreadStatements() { gone() = true; }
    static ThreadStatements& mine() {
        thread_local ThreadStatements statements;
        return statements;
    }
    // Set when the thread's statements are destroyed at its end.
    static bool& gone() {
        thread_local bool destroyed = false;
        return destroyed;
    }

    QHash<QString, QHash<QString, Statement>> m_byConnection;
};
