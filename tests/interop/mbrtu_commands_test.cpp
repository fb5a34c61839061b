// mbrtu as a user runs it, against pymodbus as the slave: one table of
// command lines with their exit status and output, values checked against
// what pymodbus's own client reads, and what writes leave in the slave read
// back through it.

#include "interop_support.h"

#include <QTemporaryDir>

#include "../support/program_runner.h"

TEST_F(Interop, MbrtuCommandLinesGiveTheirOutputAndStatus)
{
    QTemporaryDir appDir; // a project database of these runs' own
    const QStringList link = {"--app-dir", appDir.path(), "--port", QString::number(port()), "--retries", "0",
                              "--timeout", "300"};
    // The slave's seeded tables, as pymodbus's own client reads them.
    const std::vector<int> hr = peer(1, "read-hr", 0, {14}), ir = peer(1, "read-ir", 120, {10}),
                           di = peer(1, "read-di", 0, {3});
    const auto text = [](qint64 value) { return QString::number(value); };
    const struct { QStringList arguments; int status; QString out, err; } cases[] = {
        {{"read", "HR1", "--count", "4"}, 0, "\nHR4 +" + text(hr[3]) + " .*\n$", "^mbrtu: no project database yet"},
        {{"read", "HR10", "--type", "uint32", "--count", "2"}, 0,
         "\nHR10 +" + text(qint64(hr[9]) << 16 | hr[10]) + "\nHR12 +" + text(qint64(hr[11]) << 16 | hr[12]) + "\n$", ""},
        {{"read", "IR1", "--count", "130", "--trace"}, 0,
         "-> 01 04 00 00 00 7D .*-> 01 04 00 7D 00 05 .*\nIR130 +" + text(ir[9]) + " ", ""},
        {{"read", "DI1", "--type", "bit", "--count", "3"}, 0,
         QStringLiteral("DI1 +%1\nDI2 +%2\nDI3 +%3\n$").arg(di[0]).arg(di[1]).arg(di[2]), ""},
        {{"write", "HR20", "-2", "--type", "int16"}, 0,
         "^link 127.0.0.1:" + QString::number(port()) + ", station 1\nwrote 1 int16\\(s\\) to HR20 on station 1\n$", ""},
        {{"write", "HR30", "1.5", "--type", "float32", "--order", "CDAB"}, 0, "wrote 1 float32", ""},
        {{"write", "FN5DO5", "1", "--type", "bit", "--station", "2"}, 0, "on station 2\n$", ""},
        {{"read", "HR2000", "--count", "2"}, 1, "^link [^\n]*, station 1\n$", "^mbrtu: exception code:0x02 \\(read 2 word\\(s\\) from 1-HR2000\\): illegal data address\n$"},
        {{"read", "HR1", "--station", "7"}, 1, "^link [^\n]*, station 7\n$", "^mbrtu: PLC no response \\(read 1 word\\(s\\) from 7-HR1\\): no reply within 300 ms\n$"},
        {{"read", "HR1", "--poll", "10", "--polls", "3", "--json"}, 0, "(\\{\"address\":\"HR1\".*\"poll\":\\d.*\n){3}$",
         "^3 polls: 3 good, 0 failed, loss 0\\.0 %\n"},
        {{"scan", "--stations", "1-3,7"}, 0, "\nstation   1  answered .*\nstation   2  answered .*\n2 of 4 station\\(s\\) tried", ""},
        {{"write", "HR1", "1", "2", "--type", "dword", "--order", "CDAB"}, 2, "", "--order goes with the number types"},
    };
    for (const auto &c : cases) {
        const Outcome run = runProgram(QStringLiteral(MBRTU_TOOL_PATH), c.arguments + link);
        EXPECT_EQ(run.status, c.status) << c.arguments.join(' ').toStdString() << "\n" << run.err.toStdString();
        expectPrinted(run, c.out, c.err, c.arguments.join(' '));
    }
    EXPECT_EQ(peer(1, "read-hr", 19, {1}), std::vector<int>{0xFFFE});
    EXPECT_EQ(peer(1, "read-hr", 29, {2}), (std::vector<int>{0x0000, 0x3FC0}));
    EXPECT_EQ(peer(2, "read-co", 4, {1}), std::vector<int>{1});
}
