// mbrtu_soak: a long run of mixed requests through the driver plug-in against
// the simulated slave, with faults injected into the slave's replies (dropped,
// delayed, corrupted, split, connection closed) at a chosen rate from a seed.
//
// The plug-in is reached as the runtime reaches it: QPluginLoader,
// DriverInterface and a TcpDevice. The slave's data change only through the
// soak's own writes, so a shadow of them (soak_model.h) knows the value
// of every read. Each request must either give the right values or fail with
// one of the driver's error texts; a watchdog ends the run when a request does
// not come back. Exit status 0 only when no wrong value was accepted or
// written, no error text was unknown and nothing hung.

#include <QCoreApplication>
#include <QTextStream>

#include "host/soak/soak_options.h"
#include "host/soak/soak_run.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    soak::Options options;
    QString error;
    if (!soak::parseOptions(app, &options, &error)) {
        QTextStream(stderr) << "mbrtu_soak: " << error << "\nTry --help.\n";
        return 2;
    }
    soak::Soak soak(options, out);
    return soak.run();
}
