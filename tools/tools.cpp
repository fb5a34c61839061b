// Constants of the support library.

#include "tools.h"

// Directory below the application directory that holds the compiled project,
// and the database directory (and file name) inside it.
const QString COMPILE_PATH = QStringLiteral("compile");
const QString DATABASE_PATH = QStringLiteral("database");
