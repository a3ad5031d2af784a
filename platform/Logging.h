#pragma once
// One logging category per subsystem, e.g. QT_LOGGING_RULES="quorvel.game.debug=true".

#include <QLoggingCategory>

// File plumbing, the document framework and the prompts.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
// The game lookup: the object folder, Wine prefixes, Steam libraries, fresh names.
Q_DECLARE_LOGGING_CATEGORY(lcGame)
Q_DECLARE_LOGGING_CATEGORY(lcCompany)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcImage)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
// The messages of Qt and the libraries under it, as debug lines.
Q_DECLARE_LOGGING_CATEGORY(lcQt)

namespace quorvel {

// From now on the messages of Qt and its libraries (every category but ours) become debug
// lines of lcQt, off unless QT_LOGGING_RULES="quorvel.qt.debug=true": the user sees the
// program's own clear line, not the noise of the layers below. Fatal messages still end the
// program as Qt's own handler makes them.
void RouteLibraryMessages();

} // namespace quorvel
