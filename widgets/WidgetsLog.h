#pragma once

#include <QLoggingCategory>

// What the windows could not show: a box nobody was there to answer.
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)
