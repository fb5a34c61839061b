#ifndef HOST_DRIVER_PLUGIN_H
#define HOST_DRIVER_PLUGIN_H

// Finds the driver plug-in and loads it with QPluginLoader, as the runtime
// does. Where it looks: the directory given on the command line, else the
// one in MBRTU_PLUGIN_DIR, else beside the program and in its parent.

#include <QPluginLoader>
#include <QString>
#include <QStringList>

class DriverInterface;

extern const char kPluginDirEnvironment[]; // "MBRTU_PLUGIN_DIR"

QStringList pluginSearchDirs(const QString &optionDir, const QString &environmentDir, const QString &appDir);

class DriverPlugin
{
public:
    // Loads the first plug-in file found in the directories (a directory may
    // also name the file itself); false with a reason otherwise.
    bool load(const QStringList &dirs, QString *error);
    // Owned by the plug-in's instance function; never deleted here.
    DriverInterface *driver() const { return m_driver; }
    QString fileName() const { return m_loader.fileName(); }

private:
    QPluginLoader m_loader;
    DriverInterface *m_driver = nullptr;
};

#endif // HOST_DRIVER_PLUGIN_H
