#pragma once
// One logging category per subsystem, e.g. QT_LOGGING_RULES="quorvel.store.debug=true".

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCompany)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcImage)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
