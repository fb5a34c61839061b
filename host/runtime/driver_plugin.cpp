#include "host/runtime/driver_plugin.h"

#include <QDir>
#include <QFileInfo>

#include "settings/driver_interface.h"

const char kPluginDirEnvironment[] = "MBRTU_PLUGIN_DIR";

namespace {

// The build names the file; see host/CMakeLists.txt.
const char kPluginFileName[] = MBRTU_PLUGIN_FILE_NAME;
// Where an installed mbrtu finds the plug-in, relative to the install prefix.
const char kInstalledPluginDir[] = MBRTU_INSTALLED_PLUGIN_DIR;

QString candidateFile(const QString &dir)
{
    const QFileInfo info(dir);
    if (info.isFile())
        return info.absoluteFilePath();
    return QDir(dir).absoluteFilePath(QLatin1String(kPluginFileName));
}

} // namespace

QStringList pluginSearchDirs(const QString &optionDir, const QString &environmentDir, const QString &appDir)
{
    if (!optionDir.isEmpty())
        return {optionDir};
    if (!environmentDir.isEmpty())
        return {environmentDir};
    // Beside the tool (the build tree), its parent, then the installed layout
    // (the tool in <prefix>/bin, the plug-in in <prefix>/<plug-in folder>).
    const QDir dir(appDir);
    return {appDir, dir.absoluteFilePath(QStringLiteral("..")),
            QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("../") + QLatin1String(kInstalledPluginDir)))};
}

bool DriverPlugin::load(const QStringList &dirs, QString *error)
{
    for (const QString &dir : dirs) {
        const QString file = candidateFile(dir);
        if (!QFileInfo::exists(file))
            continue;
        m_loader.setFileName(file);
        QObject *instance = m_loader.instance();
        if (!instance) {
            *error = QStringLiteral("cannot load plug-in %1: %2").arg(file, m_loader.errorString());
            return false;
        }
        m_driver = qobject_cast<DriverInterface *>(instance);
        if (!m_driver) {
            *error = QStringLiteral("%1 is not a driver plug-in (no %2)").arg(file, QLatin1String(DriverInterface_iid));
            return false;
        }
        return true;
    }
    QStringList cleaned;
    for (const QString &dir : dirs)
        cleaned.append(QDir::cleanPath(QDir(dir).absolutePath()));
    *error = QStringLiteral("no driver plug-in %1 in %2 (use --plugin-dir or %3)")
                 .arg(QLatin1String(kPluginFileName), cleaned.join(QStringLiteral(", ")),
                      QLatin1String(kPluginDirEnvironment));
    return false;
}
