#ifndef HOST_TERMINAL_SCREEN_H
#define HOST_TERMINAL_SCREEN_H

// A screen redrawn in place on a terminal: while it lives the terminal shows
// its alternate screen with the cursor hidden; when it goes (the end of the
// run, Ctrl-C or SIGTERM included, which end the run normally) the terminal
// is back as it was, the shell's lines above the prompt untouched.

#include <QStringList>
#include <QTextStream>

class QTextCodec;

class TerminalScreen
{
public:
    // Whether standard output is a terminal.
    static bool isTerminal();

    explicit TerminalScreen(QTextStream &out);
    ~TerminalScreen();
    TerminalScreen(const TerminalScreen &) = delete;
    TerminalScreen &operator=(const TerminalScreen &) = delete;

    // The terminal's columns and rows; 80 x 24 when it does not say.
    int width() const;
    int height() const;

    // Draws the lines from the top left, each cleared to its end and
    // everything below them cleared: no flicker of a full clear.
    void show(const QStringList &lines);

private:
    QTextStream &m_out;
    QTextCodec *m_codec;
};

#endif // HOST_TERMINAL_SCREEN_H
