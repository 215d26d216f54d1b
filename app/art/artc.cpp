// artc: compiles the program's artwork from its text form (app/art/*.art)
// into BMP, GIF and ICO files. Standard library only, so that it builds
// before everything else and depends on nothing it could help to build.
//
//   artc [-d DIR] FILE.art...    writes DIR/FILE (the source's name without
//                                ".art"; the extension picks the format)
//
// The text form, one statement a line; a line starting with "#" is a comment:
//
//   include "FILE"            reads FILE (relative to this file) in place
//   colour K VALUE            palette key K (one character other than "#" and
//                             blank): "none", RRGGBB or RRGGBB/ALPHA (0-255)
//   image W H                 starts an image; an ICO holds one per size,
//                             a BMP or GIF exactly one. It starts transparent.
//   fill C                    C: a palette key or a colour value
//   gradient down|right|diagonal C1 C2 [X Y W H]
//   rect X Y W H C            filled;  box X Y W H C: its one-pixel outline
//   line X1 Y1 X2 Y2 C        both end points drawn
//   ellipse X Y W H C         filled, within the rectangle
//   polygon C X1 Y1 X2 Y2 X3 Y3...   filled, pixel centres inside (even-odd)
//   noise SEED AMOUNT [RADIUS]  adds -AMOUNT..AMOUNT to the grey level of every
//                             pixel painted so far, smoothed over RADIUS
//                             pixels; wraps at the edges so tiles join
//   rows [X Y]                pixel rows follow, one character a pixel, until
//                             "end"; without X Y they cover the whole image.
//                             A key whose colour is "none" leaves the pixel.
//   tile                      rows as above, repeated over the whole image
//
// Everything paints over what is there, blended by the colour's alpha. A BMP
// is 24-bit and must be opaque; a GIF takes up to 256 colours, pixels fully
// transparent or opaque; an ICO stores 32-bit pixels with alpha and an AND
// mask, so it reads with or without alpha support.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};

struct Canvas {
    int width = 0, height = 0;
    int line = 0; // of its "image" statement
    std::vector<Rgba> pixels;
    Rgba& at(int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// Bad input: where it is and what is wrong, caught by main.
struct InputError {
    std::string message;
};

// Coordinates and sizes stay within this, so that no statement runs for long.
constexpr int MaxNumber = 65536;
constexpr int MaxNoiseRadius = 16;

struct Position {
    std::string file;
    int line = 0;
};

// Line 0 stands for the file as a whole.
[[noreturn]] void fail(const Position& at, const std::string& message) {
    throw InputError{at.file + (at.line > 0 ? ":" + std::to_string(at.line) : "") + ": " + message};
}

// Source colour over the canvas pixel, straight (not premultiplied) alpha.
void blend(Rgba& out, Rgba in) {
    if (in.a == 255 || out.a == 0) {
        out = in;
        return;
    }
    const double a = in.a / 255.0, below = out.a / 255.0 * (1 - a), total = a + below;
    const auto mix = [&](uint8_t top, uint8_t bottom) {
        return static_cast<uint8_t>(std::lround((top * a + bottom * below) / total));
    };
    out = {mix(in.r, out.r), mix(in.g, out.g), mix(in.b, out.b),
           static_cast<uint8_t>(std::lround(total * 255))};
}

class Compiler {
public:
    void read(const fs::path& path) {
        std::ifstream in(path);
        if (!in)
            throw InputError{path.string() + ": cannot read it"};
        Position at{path.string(), 0};
        std::string text;
        while (std::getline(in, text)) {
            ++at.line;
            std::istringstream words(text);
            std::string keyword;
            if (!(words >> keyword) || keyword[0] == '#')
                continue;
            if (keyword == "rows" || keyword == "tile")
                read_rows(in, at, keyword, rest(words));
            else
                statement(path, at, keyword, rest(words));
        }
    }

    const std::vector<Canvas>& images() const { return m_images; }

private:
    static std::vector<std::string> rest(std::istringstream& words) {
        std::vector<std::string> out;
        for (std::string word; words >> word;)
            out.push_back(word);
        return out;
    }

    static int number(const Position& at, const std::string& word) {
        std::size_t used = 0;
        int value = 0;
        try {
            value = std::stoi(word, &used);
        } catch (...) {
            used = 0;
        }
        if (used != word.size() || used == 0)
            fail(at, "'" + word + "' is not a number");
        if (value < -MaxNumber || value > MaxNumber)
            fail(at, word + " is outside -" + std::to_string(MaxNumber) + ".." + std::to_string(MaxNumber));
        return value;
    }

    static Rgba colour_value(const Position& at, const std::string& word) {
        if (word == "none")
            return {};
        const std::size_t slash = word.find('/');
        const std::string hex = word.substr(0, slash);
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            fail(at, "'" + word + "' is not a colour (RRGGBB, RRGGBB/ALPHA or none)");
        const unsigned long rgb = std::stoul(hex, nullptr, 16);
        int alpha = 255;
        if (slash != std::string::npos) {
            alpha = number(at, word.substr(slash + 1));
            if (alpha < 0 || alpha > 255)
                fail(at, "alpha " + std::to_string(alpha) + " is outside 0-255");
        }
        return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
                static_cast<uint8_t>(alpha)};
    }

    Rgba colour(const Position& at, const std::string& word) const {
        if (word.size() != 1)
            return colour_value(at, word);
        const auto found = m_palette.find(word[0]);
        if (found == m_palette.end())
            fail(at, "no colour '" + word + "' in the palette");
        return found->second;
    }

    Canvas& canvas(const Position& at) {
        if (m_images.empty())
            fail(at, "drawing before any 'image'");
        return m_images.back();
    }

    void check_count(const Position& at, const std::string& keyword, const std::vector<std::string>& args,
                     std::size_t least, std::size_t most) const {
        if (args.size() < least || args.size() > most)
            fail(at, "'" + keyword + "' takes " +
                         (least == most ? std::to_string(least)
                                        : std::to_string(least) + " to " + std::to_string(most)) +
                         " arguments, not " + std::to_string(args.size()));
    }

    // Painted pixels outside the image are dropped: shapes may run off the edge.
    static void plot(Canvas& c, int x, int y, Rgba colour) {
        if (x >= 0 && y >= 0 && x < c.width && y < c.height)
            blend(c.at(x, y), colour);
    }

    void statement(const fs::path& path, const Position& at, const std::string& keyword,
                   const std::vector<std::string>& args) {
        const auto num = [&](std::size_t i) { return number(at, args[i]); };
        if (keyword == "include") {
            check_count(at, keyword, args, 1, 1);
            std::string name = args[0];
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            if (++m_depth > 8)
                fail(at, "includes nest too deeply");
            const fs::path included = path.parent_path() / name;
            if (!std::ifstream(included))
                fail(at, "cannot read '" + included.string() + "'");
            read(included);
            --m_depth;
        } else if (keyword == "colour") {
            check_count(at, keyword, args, 2, 2);
            if (args[0].size() != 1)
                fail(at, "a palette key is one character, not '" + args[0] + "'");
            m_palette[args[0][0]] = colour_value(at, args[1]);
        } else if (keyword == "image") {
            check_count(at, keyword, args, 2, 2);
            const int w = num(0), h = num(1);
            if (w < 1 || h < 1 || w > 1024 || h > 1024)
                fail(at, "an image is 1 to 1024 pixels a side");
            m_images.push_back(Canvas{w, h, at.line, std::vector<Rgba>(static_cast<std::size_t>(w * h))});
        } else if (keyword == "fill") {
            check_count(at, keyword, args, 1, 1);
            Canvas& c = canvas(at);
            for (Rgba& pixel : c.pixels)
                blend(pixel, colour(at, args[0]));
        } else if (keyword == "gradient") {
            check_count(at, keyword, args, 3, 7);
            if (args.size() != 3 && args.size() != 7)
                fail(at, "'gradient' takes a direction, two colours and an optional X Y W H");
            gradient(at, canvas(at), args);
        } else if (keyword == "rect" || keyword == "box" || keyword == "ellipse") {
            check_count(at, keyword, args, 5, 5);
            shape(canvas(at), keyword, num(0), num(1), num(2), num(3), colour(at, args[4]));
        } else if (keyword == "line") {
            check_count(at, keyword, args, 5, 5);
            line(canvas(at), num(0), num(1), num(2), num(3), colour(at, args[4]));
        } else if (keyword == "polygon") {
            if (args.size() < 7 || args.size() % 2 == 0)
                fail(at, "'polygon' takes a colour and three or more X Y points");
            std::vector<std::pair<double, double>> points;
            for (std::size_t i = 1; i < args.size(); i += 2)
                points.emplace_back(num(i), num(i + 1));
            polygon(canvas(at), points, colour(at, args[0]));
        } else if (keyword == "noise") {
            check_count(at, keyword, args, 2, 3);
            if (args.size() > 2 && (num(2) < 0 || num(2) > MaxNoiseRadius))
                fail(at, "a noise radius is 0 to " + std::to_string(MaxNoiseRadius));
            noise(canvas(at), static_cast<uint64_t>(num(0)), num(1), args.size() > 2 ? num(2) : 0);
        } else {
            fail(at, "unknown statement '" + keyword + "'");
        }
    }

    void gradient(const Position& at, Canvas& c, const std::vector<std::string>& args) {
        const std::string& direction = args[0];
        if (direction != "down" && direction != "right" && direction != "diagonal")
            fail(at, "a gradient runs down, right or diagonal, not '" + direction + "'");
        const Rgba from = colour(at, args[1]), to = colour(at, args[2]);
        int x0 = 0, y0 = 0, w = c.width, h = c.height;
        if (args.size() == 7)
            x0 = number(at, args[3]), y0 = number(at, args[4]), w = number(at, args[5]),
            h = number(at, args[6]);
        for (int y = std::max(y0, 0); y < std::min(y0 + h, c.height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x0 + w, c.width); ++x) {
                const double dx = w > 1 ? double(x - x0) / (w - 1) : 0,
                             dy = h > 1 ? double(y - y0) / (h - 1) : 0;
                const double t = direction == "down" ? dy : direction == "right" ? dx : (dx + dy) / 2;
                const auto mix = [t](uint8_t a, uint8_t b) {
                    return static_cast<uint8_t>(std::lround(a + (b - a) * t));
                };
                plot(c, x, y, {mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b), mix(from.a, to.a)});
            }
    }

    static void shape(Canvas& c, const std::string& kind, int x0, int y0, int w, int h, Rgba colour) {
        const double cx = x0 + w / 2.0, cy = y0 + h / 2.0, rx = w / 2.0, ry = h / 2.0;
        for (int y = std::max(y0, 0); y < std::min(y0 + h, c.height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x0 + w, c.width); ++x) {
                bool inside = true;
                if (kind == "box")
                    inside = x == x0 || y == y0 || x == x0 + w - 1 || y == y0 + h - 1;
                else if (kind == "ellipse")
                    inside = std::pow((x + 0.5 - cx) / rx, 2) + std::pow((y + 0.5 - cy) / ry, 2) <= 1.0;
                if (inside)
                    plot(c, x, y, colour);
            }
    }

    static void line(Canvas& c, int x0, int y0, int x1, int y1, Rgba colour) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int error = dx + dy;;) {
            plot(c, x0, y0, colour);
            if (x0 == x1 && y0 == y1)
                return;
            const int twice = 2 * error;
            if (twice >= dy)
                error += dy, x0 += sx;
            if (twice <= dx)
                error += dx, y0 += sy;
        }
    }

    static void polygon(Canvas& c, const std::vector<std::pair<double, double>>& points, Rgba colour) {
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                bool inside = false;
                for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                    const auto [ax, ay] = points[i];
                    const auto [bx, by] = points[j];
                    if ((ay > py) != (by > py) && px < (bx - ax) * (py - ay) / (by - ay) + ax)
                        inside = !inside;
                }
                if (inside)
                    plot(c, x, y, colour);
            }
    }

    // A fixed pseudo-random field (splitmix64), box-blurred with wrap-around
    // and scaled so that its largest swing is `amount` grey levels.
    static void noise(Canvas& c, uint64_t seed, int amount, int radius) {
        const std::size_t count = c.pixels.size();
        std::vector<double> field(count), smooth(count);
        for (double& value : field) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            value = static_cast<double>((z ^ (z >> 31)) >> 11) / static_cast<double>(1ull << 53) * 2 - 1;
        }
        double largest = 1e-9;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                double sum = 0;
                for (int v = -radius; v <= radius; ++v)
                    for (int u = -radius; u <= radius; ++u)
                        sum += field[static_cast<std::size_t>(((y + v + c.height * 8) % c.height) * c.width +
                                                              (x + u + c.width * 8) % c.width)];
                smooth[static_cast<std::size_t>(y * c.width + x)] = sum;
                largest = std::max(largest, std::abs(sum));
            }
        for (std::size_t i = 0; i < count; ++i) {
            const int offset = static_cast<int>(std::lround(smooth[i] / largest * amount));
            Rgba& p = c.pixels[i];
            const auto shift = [offset](uint8_t v) {
                return static_cast<uint8_t>(std::clamp(v + offset, 0, 255));
            };
            if (p.a != 0)
                p = {shift(p.r), shift(p.g), shift(p.b), p.a};
        }
    }

    void read_rows(std::istream& in, Position& at, const std::string& keyword,
                   const std::vector<std::string>& args) {
        check_count(at, keyword, args, 0, keyword == "rows" ? 2 : 0);
        if (args.size() == 1)
            fail(at, "'rows' takes no position or both X and Y");
        Canvas& c = canvas(at);
        const Position start = at;
        std::vector<std::string> rows;
        std::string text;
        while (true) {
            if (!std::getline(in, text))
                fail(start, "'" + keyword + "' without 'end'");
            ++at.line;
            const std::size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t\r");
            const std::string row = first == std::string::npos ? "" : text.substr(first, last - first + 1);
            if (row == "end")
                break;
            if (row.empty() || row[0] == '#')
                continue;
            if (!rows.empty() && row.size() != rows[0].size())
                fail(at, "row of " + std::to_string(row.size()) + " pixels; the first row has " +
                             std::to_string(rows[0].size()));
            for (std::size_t i = 0; i < row.size(); ++i)
                if (!m_palette.contains(row[i]))
                    fail(at, "column " + std::to_string(i + 1) + ": no colour '" + row.substr(i, 1) +
                                 "' in the palette");
            rows.push_back(row);
        }
        if (rows.empty())
            fail(start, "'" + keyword + "' without rows");
        const int w = static_cast<int>(rows[0].size()), h = static_cast<int>(rows.size());
        const int x0 = args.empty() ? 0 : number(start, args[0]),
                  y0 = args.empty() ? 0 : number(start, args[1]);
        if (keyword == "rows" && args.empty() && (w != c.width || h != c.height))
            fail(start, std::to_string(w) + "x" + std::to_string(h) + " rows for a " +
                            std::to_string(c.width) + "x" + std::to_string(c.height) + " image");
        if (keyword == "rows" && (x0 < 0 || y0 < 0 || x0 + w > c.width || y0 + h > c.height))
            fail(start, "the rows run outside the image");
        const int across = keyword == "tile" ? c.width : w, down = keyword == "tile" ? c.height : h;
        for (int y = 0; y < down; ++y)
            for (int x = 0; x < across; ++x)
                plot(c, x0 + x, y0 + y,
                     m_palette.at(rows[static_cast<std::size_t>(y % h)][static_cast<std::size_t>(x % w)]));
    }

    std::map<char, Rgba> m_palette;
    std::vector<Canvas> m_images;
    int m_depth = 0;
};

void put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The 40-byte bitmap header; icons give twice the height (colours and mask).
void put_bitmap_header(Bytes& out, int width, int height, int bits, uint32_t image_size) {
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0); // uncompressed
    put32(out, image_size);
    for (int i = 0; i < 4; ++i)
        put32(out, 0); // resolution, colours used and important
}

Bytes write_bmp(Canvas c, const Position& at) {
    for (int i = 0; i < c.width * c.height; ++i)
        if (c.pixels[static_cast<std::size_t>(i)].a != 255)
            fail(at, "pixel " + std::to_string(i % c.width) + "," + std::to_string(i / c.width) +
                         " is not opaque; a BMP has no transparency");
    const uint32_t stride = (static_cast<uint32_t>(c.width) * 3 + 3) & ~3u;
    const uint32_t size = stride * static_cast<uint32_t>(c.height);
    Bytes out{'B', 'M'};
    put32(out, 54 + size);
    put32(out, 0);
    put32(out, 54);
    put_bitmap_header(out, c.width, c.height, 24, size);
    for (int y = c.height - 1; y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            const Rgba p = c.at(x, y);
            out.insert(out.end(), {p.b, p.g, p.r});
        }
        out.resize(out.size() + stride - static_cast<uint32_t>(c.width) * 3);
    }
    return out;
}

// Variable-length codes packed least significant bit first, as GIF does.
class CodeWriter {
public:
    void put(int code, int size) {
        m_buffer |= static_cast<uint32_t>(code) << m_count;
        for (m_count += size; m_count >= 8; m_count -= 8, m_buffer >>= 8)
            m_bytes.push_back(static_cast<uint8_t>(m_buffer));
    }
    Bytes finish() {
        if (m_count > 0)
            m_bytes.push_back(static_cast<uint8_t>(m_buffer));
        return m_bytes;
    }

private:
    Bytes m_bytes;
    uint32_t m_buffer = 0;
    int m_count = 0;
};

Bytes lzw(const std::vector<uint8_t>& indices, int min_size) {
    const int clear = 1 << min_size, end = clear + 1;
    CodeWriter writer;
    std::unordered_map<uint32_t, int> table;
    int size = min_size + 1, next = end + 1;
    writer.put(clear, size);
    int prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const uint32_t key = static_cast<uint32_t>(prefix) << 8 | indices[i];
        if (const auto found = table.find(key); found != table.end()) {
            prefix = found->second;
            continue;
        }
        writer.put(prefix, size);
        table[key] = next++;
        if (next > (1 << size) && size < 12)
            ++size;
        if (next == 4096) { // full: start a new table
            writer.put(clear, size);
            table.clear();
            size = min_size + 1;
            next = end + 1;
        }
        prefix = indices[i];
    }
    writer.put(prefix, size);
    writer.put(end, size);
    return writer.finish();
}

Bytes write_gif(Canvas c, const Position& at) {
    std::vector<Rgba> colours;
    std::vector<uint8_t> indices;
    int transparent = -1;
    for (const Rgba p : c.pixels) {
        if (p.a != 0 && p.a != 255)
            fail(at, "a GIF pixel is fully transparent or opaque, not alpha " + std::to_string(p.a));
        const Rgba key = p.a == 0 ? Rgba{} : p;
        auto found = std::find(colours.begin(), colours.end(), key);
        if (found == colours.end()) {
            if (colours.size() == 256)
                fail(at, "more than 256 colours for a GIF");
            found = colours.insert(colours.end(), key);
            if (p.a == 0)
                transparent = static_cast<int>(colours.size()) - 1;
        }
        indices.push_back(static_cast<uint8_t>(found - colours.begin()));
    }
    int bits = 1;
    while ((1u << bits) < colours.size())
        ++bits;
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, static_cast<uint32_t>(c.width));
    put16(out, static_cast<uint32_t>(c.height));
    out.insert(out.end(), {static_cast<uint8_t>(0x80 | (bits - 1) << 4 | (bits - 1)), 0, 0});
    colours.resize(std::size_t{1} << bits);
    for (const Rgba p : colours)
        out.insert(out.end(), {p.r, p.g, p.b});
    if (transparent >= 0)
        out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(transparent), 0});
    out.push_back(0x2C);
    put32(out, 0);
    put16(out, static_cast<uint32_t>(c.width));
    put16(out, static_cast<uint32_t>(c.height));
    out.push_back(0);
    const int min_size = std::max(bits, 2);
    out.push_back(static_cast<uint8_t>(min_size));
    const Bytes data = lzw(indices, min_size);
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

Bytes write_ico(std::vector<Canvas> images, const Position& at) {
    Bytes out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<uint32_t>(images.size()));
    std::vector<Bytes> entries;
    for (Canvas& c : images) {
        if (c.width > 256 || c.height > 256)
            fail({at.file, c.line}, "an icon image is at most 256 pixels a side");
        const uint32_t mask_stride = ((static_cast<uint32_t>(c.width) + 31) / 32) * 4;
        const uint32_t size =
            static_cast<uint32_t>(c.width * c.height * 4) + mask_stride * static_cast<uint32_t>(c.height);
        Bytes data;
        put_bitmap_header(data, c.width, c.height * 2, 32, size);
        for (int y = c.height - 1; y >= 0; --y)
            for (int x = 0; x < c.width; ++x) {
                const Rgba p = c.at(x, y);
                data.insert(data.end(), {p.b, p.g, p.r, p.a});
            }
        for (int y = c.height - 1; y >= 0; --y) {
            Bytes row(mask_stride);
            for (int x = 0; x < c.width; ++x)
                if (c.at(x, y).a == 0)
                    row[static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
            data.insert(data.end(), row.begin(), row.end());
        }
        entries.push_back(std::move(data));
    }
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.insert(out.end(),
                   {static_cast<uint8_t>(images[i].width), static_cast<uint8_t>(images[i].height), 0, 0});
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<uint32_t>(entries[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(entries[i].size());
    }
    for (const Bytes& data : entries)
        out.insert(out.end(), data.begin(), data.end());
    return out;
}

// Compiles one source into `directory`, through a temporary file so that a
// failed run never leaves a half-written image for the build to pick up.
void compile(const fs::path& source, const fs::path& directory) {
    if (source.extension() != ".art")
        throw InputError{source.string() + ": not an .art file"};
    Compiler compiler;
    compiler.read(source);
    const Position at{source.string(), 0};
    const std::vector<Canvas>& images = compiler.images();
    if (images.empty())
        fail(at, "no image");
    const fs::path target = directory / source.stem();
    std::string format = target.extension().string();
    std::transform(format.begin(), format.end(), format.begin(),
                   [](unsigned char ch) { return std::tolower(ch); });
    if (format != ".ico" && images.size() != 1)
        fail({at.file, images[1].line}, "a " + format.substr(1) + " file holds one image");
    Bytes bytes;
    if (format == ".bmp")
        bytes = write_bmp(images[0], {at.file, images[0].line});
    else if (format == ".gif")
        bytes = write_gif(images[0], {at.file, images[0].line});
    else if (format == ".ico")
        bytes = write_ico(images, at);
    else
        fail(at, "cannot write '" + target.filename().string() + "': the name ends in .bmp, .gif or .ico");
    const fs::path temporary = target.string() + ".tmp";
    std::ofstream out(temporary, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    std::error_code error;
    if (out)
        fs::rename(temporary, target, error);
    if (!out || error) {
        fs::remove(temporary, error);
        throw InputError{target.string() + ": cannot write it"};
    }
}

constexpr const char* Usage = "usage: artc [-d DIR] FILE.art...\n";
constexpr const char* Help = "Compiles artwork sources into images: each FILE.art becomes DIR/FILE\n"
                             "(default DIR: the current directory), a BMP, GIF or ICO as FILE's\n"
                             "extension says. The text form is described in docs/artwork.md.\n"
                             "\n"
                             "  -d DIR    where the images are written\n"
                             "  --help    this text\n";

} // namespace

int main(int argc, char** argv) {
    fs::path directory = ".";
    std::vector<fs::path> sources;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--help") {
            std::cout << Usage << Help;
            return 0;
        }
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "-d") {
            if (++i == argc) {
                std::cerr << "artc: -d needs a directory\n" << Usage;
                return 2;
            }
            directory = argv[i];
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "artc: unknown option '" << arg << "'\n" << Usage;
            return 2;
        } else {
            sources.emplace_back(arg);
        }
    }
    if (sources.empty()) {
        std::cerr << "artc: no source\n" << Usage;
        return 2;
    }
    try {
        for (const fs::path& source : sources)
            compile(source, directory);
    } catch (const InputError& error) {
        std::cerr << "artc: " << error.message << '\n';
        return 1;
    }
    return 0;
}
