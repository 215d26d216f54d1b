// morvex: the command-line tool for people who build with the platform.
#include "tools/command.h"
#include "tools/qvd_command.h"

#include <iostream>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view Usage =
    "usage: morvex COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  cal       the month grid of a month, as the calendar component builds it\n"
    "  format    a value through a picture: FORMAT(VALUE, PICTURE)\n"
    "  deformat  text read back through a picture: DEFORMAT(TEXT, PICTURE)\n"
    "  eval      compiles and evaluates an expression, with variables bound by name\n"
    "  ini       read or repair one entry of an INI file\n"
    "  wdc       the window definition compiler\n"
    "  listformat  how a list box format string parses\n"
    "  show      opens a window of a definition source and runs a script against it\n"
    "  qvd       inspect, verify, dump, export and import QVD files\n"
    "  query     a QVD file's records in order, filtered, as CSV (the view engine)\n"
    "  browse    a browse window over a QVD file: paging, a locator, query by example\n"
    "\n"
    "'morvex COMMAND --help' describes a command.\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << Usage;
        return 2;
    }
    const std::string_view command = args.front();
    const morvex::tools::Arguments rest(args.data() + 1, args.size() - 1);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << Usage;
        return 0;
    }
    if (command == "cal")
        return morvex::tools::run_cal(rest, std::cout, std::cerr);
    if (command == "ini")
        return morvex::tools::run_ini(rest, std::cout, std::cerr);
    if (command == "format")
        return morvex::tools::run_format(rest, std::cout, std::cerr);
    if (command == "deformat")
        return morvex::tools::run_deformat(rest, std::cout, std::cerr);
    if (command == "eval")
        return morvex::tools::run_eval(rest, std::cout, std::cerr);
    if (command == "wdc")
        return morvex::tools::run_wdc(rest, std::cout, std::cerr);
    if (command == "listformat")
        return morvex::tools::run_listformat(rest, std::cout, std::cerr);
    if (command == "show")
        return morvex::tools::run_show(rest, std::cout, std::cerr);
    if (command == "browse")
        return morvex::tools::run_browse(rest, std::cout, std::cerr);
    if (command == "query")
        return morvex::tools::run_query(rest, std::cout, std::cerr);
    if (command == "qvd")
        return morvex::tools::run_qvd(rest, std::cout, std::cerr);
    std::cerr << "morvex: unknown command '" << command << "'\n" << Usage;
    return 2;
}
