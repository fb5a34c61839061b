#ifndef HOST_OPTION_RULE_H
#define HOST_OPTION_RULE_H

// One option of mbrtu's command line: its name, whether it takes a value,
// the subcommands it goes with (a bit each) and how it sets ToolOptions.
// tool_options.cpp holds the table of the shared options; a subcommand with
// options of its own keeps their table beside its code.

#include <QString>

struct ToolOptions;

struct OptionRule
{
    const char *name;
    bool takesValue;
    int commands;
    QString (*apply)(ToolOptions &options, const QString &value);
};

// The gateway's bit among the subcommands.
constexpr int kGatewayCommandBit = 128;

// The longest time any option takes, in milliseconds: an hour.
constexpr int kMaxOptionMilliseconds = 3600 * 1000;

// Reads a decimal number from min to max into value; else says why, naming
// the option.
QString readNumber(const QString &option, const QString &text, int min, int max, int *value);

#endif // HOST_OPTION_RULE_H
