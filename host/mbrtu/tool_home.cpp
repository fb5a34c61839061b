#include "host/mbrtu/tool_home.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtCore/private/qcoreapplication_p.h>

const char kAppDirEnvironment[] = "MBRTU_APP_DIR";

namespace {

const QLatin1String kCompileFolder("compile");
const QLatin1String kToolFolder("mbrtu");
// The name the application's file gets inside its folder; the driver only
// takes the folder from it.
const QLatin1String kProgramName("mbrtu");

} // namespace

QString programDirectory()
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? QFileInfo(self.canonicalFilePath()).absolutePath() : QCoreApplication::applicationDirPath();
}

QString toolAppDir(const QString &optionDir, const QString &environmentDir, const QString &programDir,
                   const QString &dataHome, const QString &home)
{
    if (!optionDir.isEmpty())
        return QDir(optionDir).absolutePath();
    if (!environmentDir.isEmpty())
        return QDir(environmentDir).absolutePath();
    if (QFileInfo(QDir(programDir).filePath(kCompileFolder)).isDir())
        return programDir;
    const QString base = !dataHome.isEmpty() ? dataHome : QDir(home).filePath(QStringLiteral(".local/share"));
    return QDir(base).filePath(kToolFolder);
}

bool useAppDir(const QString &appDir, QString *error)
{
    if (!QDir().mkpath(appDir)) {
        *error = QStringLiteral("cannot create the application folder %1 (choose one with --app-dir)").arg(appDir);
        return false;
    }
    QCoreApplicationPrivate::setApplicationFilePath(QDir(appDir).filePath(kProgramName));
    return true;
}
