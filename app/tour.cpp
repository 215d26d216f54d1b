#include "app/tour.h"

#include "app/program.h"
#include "app/program_script.h"
#include "platform/message_queue.h"
#include "window/scripted_run.h"

#include <filesystem>
#include <ostream>

namespace tavemon {

// The tour's script (app/tour.script), embedded when the build is configured.
extern const std::string_view TourScript;

int RunTour(const std::string& shots, std::ostream& out, std::ostream& err) {
    std::error_code error;
    std::filesystem::create_directories(shots, error);
    if (error) {
        err << "tavemon: cannot make " << shots << ": " << error.message() << "\n";
        return 2;
    }
    morvex::platform::use_manual_timer_clock();
    morvex::ScriptOptions options;
    options.name = "tour";
    options.shots_directory = shots;
    const int status =
        morvex::RunUnderScript(options, TourScript, out, err, AddProgramScriptCommands, ProgramCode);
    out << "The screenshots of the tour are in " << std::filesystem::absolute(shots).string() << "\n";
    return status;
}

} // namespace tavemon
