// Finds the installed font file for a typeface through fontconfig. A typeface
// the machine lacks ("MS Sans Serif", "Arial Black") falls back to a close
// installed face; each such fallback is logged once per typeface on stderr.
#pragma once

#include <string>
#include <string_view>

namespace morvex::painter {

// A font as windows ask for it.
struct FontRequest {
    std::string typeface; // empty: the default sans-serif face
    int point_size = 8;   // at 96 dpi; 0 or less means 8
    int weight = 400;     // 400 normal, 700 bold; 0 or less means 400
    bool italic = false;
};

// The file that draws a FontRequest, and what must be synthesised because the
// file lacks it.
struct FontFile {
    std::string path;
    int index = 0;         // face within a collection
    std::string family;    // the family the file belongs to
    bool fallback = false; // the typeface asked for is not installed
    bool embolden = false; // bold asked for, the file is not bold
    bool slant = false;    // italic asked for, the file is upright
};

// The best installed match; an empty path when fontconfig knows no font at all.
FontFile match_font(const FontRequest& request);

// Makes every typeface resolve to one file (tests and the headless backend
// use this for pixel-exact output); an empty path restores matching.
void set_fixed_font_file(std::string path);

// Counts the calls of set_fixed_font_file, so that caches of matched fonts
// know when to start over.
int font_settings_generation();

// The typefaces whose fallback has been logged, for diagnostics.
bool fallback_was_logged(std::string_view typeface);

} // namespace morvex::painter
