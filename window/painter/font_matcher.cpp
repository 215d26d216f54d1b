#include "window/painter/font_matcher.h"

#include <algorithm>
#include <cctype>
#include <cerrno> // program_invocation_short_name
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <mutex>
#include <set>

namespace morvex::painter {

namespace {

// The kinds of face that stand in for a missing one, each tried in order: a
// metric-compatible face first (fontconfig's own rules turn "Arial" into
// Liberation Sans or Arimo when one is installed), then the generic family.
enum class Kind { Sans, Serif, Mono };

constexpr const char* KindFamilies[3][2] = {
    {"Arial", "sans-serif"},
    {"Times New Roman", "serif"},
    {"Courier New", "monospace"},
};

struct Alias {
    std::string_view typeface;
    Kind kind;
    int min_weight;
};

// Typefaces of the classic desktop that no free system installs. At 8 points
// the sans kind's first choice measures like the classic dialog face (an
// average width of 6 and a height of 13 pixels), so dialogs keep their size.
constexpr Alias Aliases[] = {
    {"ms sans serif", Kind::Sans, 0}, {"microsoft sans serif", Kind::Sans, 0},
    {"ms shell dlg", Kind::Sans, 0},  {"ms shell dlg 2", Kind::Sans, 0},
    {"system", Kind::Sans, 700},      {"small fonts", Kind::Sans, 0},
    {"helv", Kind::Sans, 0},          {"tahoma", Kind::Sans, 0},
    {"verdana", Kind::Sans, 0},       {"arial black", Kind::Sans, 900},
    {"ms serif", Kind::Serif, 0},     {"tms rmn", Kind::Serif, 0},
    {"courier", Kind::Mono, 0},       {"fixedsys", Kind::Mono, 0},
    {"terminal", Kind::Mono, 0},      {"lucida console", Kind::Mono, 0},
};

std::mutex g_mutex;
std::string g_fixed_file;
int g_generation = 0;
std::set<std::string> g_logged;

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

const Alias* find_alias(const std::string& lowered) {
    for (const Alias& alias : Aliases)
        if (alias.typeface == lowered)
            return &alias;
    return nullptr;
}

bool family_matches(FcPattern* match, const std::string& lowered) {
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        if (lower(reinterpret_cast<const char*>(family)) == lowered)
            return true;
    return false;
}

FontFile fixed_file(const FontRequest& request) {
    return {g_fixed_file, 0, "", false, request.weight >= 600, request.italic};
}

} // namespace

FontFile match_font(const FontRequest& request) {
    std::lock_guard lock(g_mutex);
    if (!g_fixed_file.empty())
        return fixed_file(request);
    static const bool initialised = FcInit() == FcTrue;
    if (!initialised)
        return {};

    const std::string lowered = lower(request.typeface);
    const Alias* alias = find_alias(lowered);
    // Weight 0 is "don't care", which draws as normal.
    const int weight = std::max(request.weight <= 0 ? 400 : request.weight, alias ? alias->min_weight : 0);

    FcPattern* pattern = FcPatternCreate();
    if (!request.typeface.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.typeface.c_str()));
    if (alias) {
        for (const char* family : KindFamilies[static_cast<int>(alias->kind)])
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    } else {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return {};

    FontFile file;
    FcChar8* text = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &text) == FcResultMatch)
        file.path = reinterpret_cast<const char*>(text);
    if (FcPatternGetString(match, FC_FAMILY, 0, &text) == FcResultMatch)
        file.family = reinterpret_cast<const char*>(text);
    FcPatternGetInteger(match, FC_INDEX, 0, &file.index);
    int matched_weight = FC_WEIGHT_REGULAR;
    int matched_slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &matched_weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &matched_slant);
    file.embolden = weight >= 600 && matched_weight < FC_WEIGHT_DEMIBOLD;
    file.slant = request.italic && matched_slant == FC_SLANT_ROMAN;
    file.fallback = !request.typeface.empty() && !family_matches(match, lowered);
    FcPatternDestroy(match);

    if (file.fallback && g_logged.insert(lowered).second)
        std::fprintf(stderr, "%s: typeface \"%s\" is not installed; drawing it with \"%s\"\n",
                     program_invocation_short_name, request.typeface.c_str(), file.family.c_str());
    return file;
}

void set_fixed_font_file(std::string path) {
    std::lock_guard lock(g_mutex);
    g_fixed_file = std::move(path);
    ++g_generation;
}

int font_settings_generation() {
    std::lock_guard lock(g_mutex);
    return g_generation;
}

bool fallback_was_logged(std::string_view typeface) {
    std::lock_guard lock(g_mutex);
    return g_logged.contains(lower(typeface));
}

} // namespace morvex::painter

#if defined(__SANITIZE_ADDRESS__)
#define MORVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVEX_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(MORVEX_ADDRESS_SANITIZER)
// fontconfig loses a little memory while parsing its configuration files,
// once per process; it is not ours to free, so leak checks skip it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif
