#ifndef HOST_WATCH_COMMAND_H
#define HOST_WATCH_COMMAND_H

// mbrtu watch: polls a list of tags (watch_tags.h) as a panel runtime polls
// them, in block requests grouped per station and area, each through the
// plug-in's read (host/watch/watch_poller.h, which keeps a silent station
// from stalling the others). --once polls every tag once and prints the
// table, or records with --json or --csv: the project check before shipping.
// Without it the tags are polled every --period: on a terminal a live view
// redrawn in place (watch_view.h), otherwise a line, JSON record or CSV row
// per tag per cycle, each stamped when its reply came.

#include <QTextStream>

#include "host/mbrtu/tool_options.h"
#include "host/mbrtu/watch_tags.h"

int runWatch(const ToolOptions &options, QTextStream &out, QTextStream &err);

#endif // HOST_WATCH_COMMAND_H
