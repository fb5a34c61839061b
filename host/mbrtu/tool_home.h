#ifndef HOST_TOOL_HOME_H
#define HOST_TOOL_HOME_H

// Where mbrtu keeps the driver's project database. The driver looks for it
// below the application's directory (compile/database/database), which for
// an installed mbrtu is a system folder a user cannot write to and root
// should not write to. So the tool picks an application folder of its own:
// --app-dir, else $MBRTU_APP_DIR, else the program's folder when it already
// holds a compile/ folder (a build tree), else a per-user folder,
// $XDG_DATA_HOME/mbrtu (~/.local/share/mbrtu), made when needed; and makes
// the application's directory, as the driver sees it, that folder.

#include <QString>

extern const char kAppDirEnvironment[]; // "MBRTU_APP_DIR"

// The folder of the running program, found without asking Qt for the
// application's directory: once Qt has been asked, useAppDir() can no longer
// change its answer.
QString programDirectory();

QString toolAppDir(const QString &optionDir, const QString &environmentDir, const QString &programDir,
                   const QString &dataHome, const QString &home);
// Makes appDir the application's directory for everything loaded after;
// false with the reason when the folder cannot be made. Must come before the
// first call of QCoreApplication::applicationDirPath().
bool useAppDir(const QString &appDir, QString *error);

#endif // HOST_TOOL_HOME_H
