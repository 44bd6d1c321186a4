#pragma once

#include <QLoggingCategory>

// Why a connection dropped, a line was refused or a server reply was ignored.
Q_DECLARE_LOGGING_CATEGORY(lcIrc)
