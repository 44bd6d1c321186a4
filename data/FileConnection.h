#pragma once

#include "data/DbConnection.h"

namespace palvuro {

// A connection to "Trivia.mdb" in a folder, through Qt's SQLite driver. Several may be open on
// the same file at once: WAL mode lets them read while one writes, the busy timeout lets a
// writer wait briefly for another, and synchronous=FULL makes every committed score survive
// the program being killed right after. A file that is not an SQLite database is never
// written to; one that cannot be written opens for reading.
class FileConnection : public DbConnection {
public:
    explicit FileConnection(QString folder);
    ~FileConnection() override;

    static QString fileName(); // "Trivia.mdb"
    QString path() const;
    QString location() const override;
    void close() override;
    // How long a statement waits for another connection's lock (3000 ms unless set).
    void setBusyTimeout(int milliseconds) override;

protected:
    DbStatus connect() override;
    QString message(DbStatus status) const override;
    QString diskFullMessage() const override;

private:
    DbStatus connectAs(bool immutable);
    DbStatus prepareConnection();

    QString folder_;
    QString openFile_; // the file's canonical path while this connection has it open
    int busyTimeoutMs_;
};

} // namespace palvuro
