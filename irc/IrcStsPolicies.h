#pragma once

#include <QString>

#include <optional>

namespace palvuro {

// The servers that asked us to come back over TLS only, kept in one file across runs so that
// nobody between us and a server can talk us down to plain text once it has asked.
class IrcStsPolicies {
public:
    explicit IrcStsPolicies(QString file) : file_(std::move(file)) {}

    // The TLS port to use for HOST while its policy lasts.
    std::optional<quint16> portFor(const QString& host) const;
    // For SECONDS from now; 0 forgets the host's policy.
    void remember(const QString& host, quint16 port, qint64 seconds) const;

private:
    QString file_;
};

} // namespace palvuro
