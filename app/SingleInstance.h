#pragma once

#include <QLockFile>
#include <QString>

class QWidget;

namespace palvuro {

// One running copy per user: a lock file in the user's runtime folder. A lock left behind by a
// copy that crashed (its process is gone) is taken over, so a crash never locks the program out.
class SingleInstance {
public:
    static constexpr const char* RefusalText =
        "Another instance of this bot is already running. Close other instance.";

    // folder empty: the per-user runtime folder, else the temporary folder.
    explicit SingleInstance(const QString& folder = {});

    // True when this copy now holds the lock (or already held it).
    bool claim();
    // claim(), and when another copy runs, the exclamation box that says so.
    bool claimOrWarn(QWidget* parent = nullptr);

    QString lockPath() const { return path_; }

private:
    static QString defaultFolder();

    QString path_;
    QLockFile lock_;
};

} // namespace palvuro
