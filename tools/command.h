// The subcommands of the morvex tool. Each takes the arguments after its
// name and returns the process exit status: 0 done, 1 failed, 2 bad usage.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace morvex::tools {

using Arguments = std::span<const std::string_view>;

int run_cal(Arguments args, std::ostream& out, std::ostream& err);
int run_ini(Arguments args, std::ostream& out, std::ostream& err);
// morvex format VALUE PICTURE and morvex deformat TEXT PICTURE.
int run_format(Arguments args, std::ostream& out, std::ostream& err);
int run_deformat(Arguments args, std::ostream& out, std::ostream& err);
// morvex eval [--bind NAME=VALUE[:TYPE]]... EXPR.
int run_eval(Arguments args, std::ostream& out, std::ostream& err);
// morvex wdc: the window definition compiler.
int run_wdc(Arguments args, std::ostream& out, std::ostream& err);
// morvex listformat FORMAT: how a list box format string parses.
int run_listformat(Arguments args, std::ostream& out, std::ostream& err);
// morvex show: a window of a definition source driven by a script.
int run_show(Arguments args, std::ostream& out, std::ostream& err);
// morvex query FILE --layout NAME [--order ITEMS] [--filter EXPR] [--from VALUES] [--limit N] [--explain].
int run_query(Arguments args, std::ostream& out, std::ostream& err);
// morvex browse FILE --layout NAME [--key LABEL] [--script FILE] [--shots DIR] [--backend NAME].
int run_browse(Arguments args, std::ostream& out, std::ostream& err);

} // namespace morvex::tools
