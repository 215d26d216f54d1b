#include "tools/browse_window.h"

#include "files/file_statements.h"
#include "runtime/ascii_case.h"
#include "runtime/queue.h"
#include "window/bound_value.h"

#include <algorithm>

namespace morvex::tools {

namespace {

constexpr uint32_t PositionSize = 1024;
constexpr int32_t MinimumWidth = 320;
constexpr int32_t MaximumWidth = 640;
constexpr int32_t ListHeight = 170;

// A text for the definition format: quotes and backslashes escaped.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// The picture a field is shown with: dates for LONG fields named as dates.
std::string picture_of(const FieldDescription& field) {
    switch (field.type) {
    case FieldType::Long:
        return AsciiUpper(field.label).find("DATE") != std::string::npos ? "d17" : "n-14";
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Byte:
    case FieldType::ULong:
        return "n-14";
    case FieldType::String:
    case FieldType::CString:
    case FieldType::PString:
        return "s" + std::to_string(std::max<uint32_t>(1, field.size));
    case FieldType::Date:
        return "d17";
    case FieldType::Time:
        return "t4";
    default:
        return {};
    }
}

// The heading: the label without its prefix ("NAME" for "CUS:NAME").
std::string heading_of(const FieldDescription& field) {
    const size_t colon = field.label.find(':');
    return colon == std::string::npos ? field.label : field.label.substr(colon + 1);
}

int32_t width_of(const FieldDescription& field, const std::string& picture) {
    int32_t characters = 8;
    if (!picture.empty() && (picture[0] == 's'))
        characters = static_cast<int32_t>(std::min<uint32_t>(field.size, 30));
    else if (picture == "d17")
        characters = 10;
    characters = std::max<int32_t>(characters, static_cast<int32_t>(heading_of(field).size()) + 1);
    return characters * 4 + 8;
}

} // namespace

BrowseWindowSource MakeBrowseWindow(const FileDeclaration& file, const KeyDeclaration& key,
                                    const std::string& path, BrowseAccess access) {
    BrowseWindowSource source;
    source.editable = access == BrowseAccess::EditInPlace;
    source.procedure = "morvex$browse";
    std::string format;
    int32_t width = 12 + 24; // borders and the scroll bar
    for (int32_t n = 1; n <= file.record.field_count(); ++n) {
        const FieldDescription& field = file.record.field(n);
        std::string picture = picture_of(field);
        source.pictures.push_back(picture);
        const int32_t column = width_of(field, picture);
        width += column;
        const bool right = !picture.empty() && picture[0] == 'n';
        format += std::to_string(column) + (right ? "R(2)" : "L(2)") + "|M~" + heading_of(field) + "~" +
                  (right ? "L(2)" : "") + (picture.empty() ? "" : "@" + picture + "@");
    }
    // The position column is not shown.
    width = std::clamp(width, MinimumWidth, MaximumWidth);
    const std::string w = std::to_string(width);
    std::string base = path;
    if (const size_t slash = base.find_last_of('/'); slash != std::string::npos)
        base = base.substr(slash + 1);
    std::string& t = source.text;
    t += "procedure " + quoted(source.procedure) + "\n";
    t += "window \"Browse\"\n";
    t += "    at - - " + w + " " + std::to_string(ListHeight + 44) + "\n";
    t += "    caption " + quoted(base + " by " + key.label) + "\n";
    t += "    font \"MS Sans Serif\" 8\n";
    t += "    toolbar at 0 0 " + w + " 18\n";
    const struct {
        int32_t feq;
        const char* text;
        int32_t width;
    } buttons[] = {{2005, "Top", 28},       {2007, "Page Up", 36}, {2009, "Up", 24},   {2008, "Down", 28},
                   {2006, "Page Down", 44}, {2004, "Bottom", 34},  {2010, "Query", 30}};
    int32_t x = 2;
    for (const auto& b : buttons) {
        t += "        button feq " + std::to_string(b.feq) + " at " + std::to_string(x) + " 2 " +
             std::to_string(b.width) + " 13 attributes flat text " + quoted(b.text) + "\n";
        x += b.width + 2;
    }
    t += "    end\n";
    t += "    prompt feq 1 at 4 4 30 10 text \"Locate:\"\n";
    t += "    prompt feq 2 at 36 4 " + std::to_string(width - 40) + " 10 text \"\"\n";
    t += "    list feq 3 at 4 16 " + std::to_string(width - 8) + " " + std::to_string(ListHeight) +
         " attributes immediate var QUEUE 0 format " + quoted(format) + "\n";
    const std::string bottom = std::to_string(ListHeight + 22);
    // With editing, Insert, Change and Delete stand before the query line.
    const int32_t query_left = source.editable ? 4 + 3 * 42 : 4;
    if (source.editable) {
        const char* texts[] = {"&Insert", "&Change", "&Delete"};
        for (int32_t i = 0; i < 3; ++i)
            t += "    button feq " + std::to_string(BrowseInsertButton + i) + " at " +
                 std::to_string(4 + i * 42) + " " + std::to_string(ListHeight + 20) + " 40 14 text " +
                 quoted(texts[i]) + "\n";
    }
    t += "    prompt feq 4 at " + std::to_string(query_left) + " " + bottom + " " +
         std::to_string(width - 108 - query_left) + " 10 text \"\"\n";
    t += "    button feq 5 at " + std::to_string(width - 104) + " " + std::to_string(ListHeight + 20) +
         " 48 14 text \"&Query...\"\n";
    t += "    button feq 6 at " + std::to_string(width - 52) + " " + std::to_string(ListHeight + 20) +
         " 48 14 text \"Close\"\n";
    t += "end\n";
    return source;
}

FileBrowser::FileBrowser(FileDeclaration& file, KeyDeclaration& key, const BrowseWindowSource& source,
                         LocatorKind locator)
    : WindowController(m_window), m_file(file), m_key(key), m_source(source), m_locator_kind(locator) {
    m_window.Load(source.procedure, "Browse");
    // The page's rows: the record's fields, then the view position.
    std::vector<FieldDescription> fields;
    uint32_t offset = 0;
    for (const FieldDescription& f : file.record.fields()) {
        FieldDescription copy = f;
        copy.offset = offset;
        offset += f.total_size();
        fields.push_back(copy);
    }
    fields.push_back(FieldDescription::Sized(FieldType::String, "VIEWPOSITION", offset, PositionSize));
    offset += PositionSize;
    m_row.assign(offset, 0);
    m_queue = std::make_unique<Queue>(RecordDescription(offset, fields), m_row.data());
    m_window.Bind(BrowseList, *m_queue);
}

FileBrowser::~FileBrowser() = default;

int FileBrowser::Init() {
    if (const int level = OpenProcedure("Browse", &m_toolbar))
        return level;
    m_manager.Init(m_file, *ERRORS);
    m_manager.FILENAMEVALUE = m_file.disk_name();
    m_manager.CREATE = 0;
    m_manager.OPENMODE = (m_source.editable ? AccessReadWrite : AccessReadOnly) | ShareDenyNone;
    for (int32_t k = 1; k <= m_file.key_count(); ++k)
        m_manager.AddKey(*m_file.key(k), m_file.key(k)->label);
    m_relation.Init(m_manager, false);
    if (m_manager.Open() != Level::Benign)
        return Level::Fatal;
    m_view = std::make_unique<ViewFile>(m_file);

    const RecordDescription& row = m_queue->description();
    const BoundVariable position = FieldVariable(row.field(row.field_count()), m_row.data());
    m_browse.Init(BrowseList, position, *m_view, *m_queue, m_relation, *this);
    m_browse.QUERYCONTROL = BrowseQueryButton;
    m_browse.QUERYRESULT = BrowseQueryText;
    m_browse.AddSortOrder(nullptr, m_key);
    BrowseLocator& locator = m_locator_kind == LocatorKind::Step       ? static_cast<BrowseLocator&>(m_step)
                             : m_locator_kind == LocatorKind::Filtered ? m_filtered
                                                                       : m_incremental;
    locator.Init(m_browse, m_browse.current_sort()->FREEELEMENT, m_key.has(KeyNoCase),
                 m_locator_kind == LocatorKind::Step ? 0 : BrowseLocatorText);
    m_browse.AddLocator(locator);
    m_query.Init(*ERRORS, nullptr, "browse");
    for (int32_t n = 1; n <= m_file.record.field_count(); ++n) {
        const FieldDescription& f = m_file.record.field(n);
        m_browse.AddField(FieldVariable(f, m_file.buffer()), FieldVariable(row.field(n), m_row.data()));
        const std::string& picture = m_source.pictures[static_cast<size_t>(n - 1)];
        if (!picture.empty())
            m_query.AddField(f.label, heading_of(f), picture[0] == 's' ? "S" + picture.substr(1) : picture);
    }
    m_browse.QUERY = &m_query_link;
    if (m_source.editable) {
        // No update procedure: the browse edits its rows in place.
        m_browse.ASKPROCEDURE = 0;
        m_browse.INSERTCONTROL = BrowseInsertButton;
        m_browse.CHANGECONTROL = BrowseChangeButton;
        m_browse.DELETECONTROL = BrowseDeleteButton;
    }
    m_browse.AddToolbarTarget(m_toolbar);
    AddItem(BrowseCloseButton, RequestCancelled);
    FIRSTFIELD = BrowseList;
    SetAlerts();
    return Level::Benign;
}

int FileBrowser::Kill() {
    if (const int level = WindowController::Kill())
        return level;
    m_manager.Close();
    m_relation.Kill();
    m_manager.Kill();
    CloseProcedure();
    return Level::Benign;
}

} // namespace morvex::tools
