#include "host/Host.h"
#include "host/HostOptions.h"
#include "host/HostStatus.h"

#include <QCoreApplication>

#include <cstdio>

using namespace palvuro;

namespace {

int printStatus(const QString& folder) {
    HostStatus status;
    QString error;
    if (!HostStatus::load(folder, &status, &error)) {
        std::fprintf(stderr, "palvuro-host: %s\n", qUtf8Printable(error));
        return 1;
    }
    std::fputs(qUtf8Printable(status.describe()), stdout);
    return status.healthy() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("palvuro-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PALVURO_VERSION));

    HostOptions options;
    QString error, usage;
    if (!HostOptions::parse(QCoreApplication::arguments(), &options, &error, &usage)) {
        std::fprintf(stderr, "palvuro-host: %s\n%s", qUtf8Printable(error), qUtf8Printable(usage));
        return 2;
    }
    if (options.help || options.version) {
        std::fputs(qUtf8Printable(
                       options.help
                           ? usage
                           : QStringLiteral("palvuro-host %1\n").arg(QCoreApplication::applicationVersion())),
                   stdout);
        return 0;
    }
    if (options.status)
        return printStatus(options.folder);

    Host host(QCoreApplication::arguments(), options);
    QObject::connect(&host, &Host::finished, &app, [](int status) { QCoreApplication::exit(status); });
    if (!host.start(&error)) {
        std::fprintf(stderr, "palvuro-host: %s\n", qUtf8Printable(error));
        return 1;
    }
    return QCoreApplication::exec();
}
