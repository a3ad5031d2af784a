#include "Logging.h"

Q_LOGGING_CATEGORY(lcCompany, "quorvel.company", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStore, "quorvel.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcImage, "quorvel.image", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "quorvel.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "quorvel.app", QtWarningMsg)
