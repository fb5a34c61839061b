#include "host/mbrtu/terminal_screen.h"

#include <QTextCodec>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const char kEnterAlternateScreen[] = "\033[?1049h";
const char kLeaveAlternateScreen[] = "\033[?1049l";
const char kHideCursor[] = "\033[?25l";
const char kShowCursor[] = "\033[?25h";
const char kHome[] = "\033[H";
const char kClearToLineEnd[] = "\033[K";
const char kClearBelow[] = "\033[J";
constexpr int kDefaultWidth = 80;
constexpr int kDefaultHeight = 24;

winsize terminalSize()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
        size.ws_col = kDefaultWidth;
        size.ws_row = kDefaultHeight;
    }
    return size;
}

} // namespace

bool TerminalScreen::isTerminal()
{
    return isatty(STDOUT_FILENO) == 1;
}

TerminalScreen::TerminalScreen(QTextStream &out) : m_out(out), m_codec(out.codec())
{
    // The trend's block characters need UTF-8 whatever the locale says.
    m_out.setCodec("UTF-8");
    m_out << kEnterAlternateScreen << kHideCursor;
    m_out.flush();
}

TerminalScreen::~TerminalScreen()
{
    m_out << kShowCursor << kLeaveAlternateScreen;
    m_out.flush();
    m_out.setCodec(m_codec);
}

int TerminalScreen::width() const
{
    return terminalSize().ws_col;
}

int TerminalScreen::height() const
{
    return terminalSize().ws_row;
}

void TerminalScreen::show(const QStringList &lines)
{
    // No line feed after the last line, and none past the bottom: the screen never scrolls.
    const int count = qMin(int(lines.size()), height());
    m_out << kHome;
    for (int i = 0; i < count; ++i)
        m_out << lines[i] << kClearToLineEnd << (i + 1 < count ? "\r\n" : "");
    m_out << kClearBelow;
    m_out.flush();
}
