#include <algorithm>

#include "map/map.hpp"

namespace trelon {

namespace {

// The drawing, in pixels: the address axis runs from kLeft to the right,
// the bars stand on it, their labels above them, the marks below.
constexpr int kLeft = 40, kAxis = 1120, kBarTop = 190, kBarHeight = 40;
constexpr int kRangeMin = 12, kGapMin = 4, kBreakWidth = 40;  // narrowest bar and gap; a shortened gap
constexpr const char* kPalette[] = {"#4e79a7", "#f28e2b", "#59a14f", "#b07aa1", "#76b7b2",
                                    "#edc948", "#9c755f", "#ff9da7", "#86bcb6", "#8cd17d"};
constexpr const char* kOverlapColour = "#e8112d";
constexpr const char* kLostColour = "#1a1a80";
constexpr const char* kBreakColour = "#555555";

// A colour of its own for each section: the palette, then hues a golden
// angle (137.508 degrees) apart, of the same strength. Integers only: the
// program needs no maths library.
std::string SectionColour(uint32_t section) {
  if (section < std::size(kPalette)) return kPalette[section];
  const auto hue = static_cast<unsigned>(uint64_t{section} * 137508 / 1000 % 360);
  const unsigned sector = hue / 60, rise = 128 * (hue % 60) / 60, c = 128;
  const unsigned x = sector % 2 == 0 ? rise : c - rise;  // the second strongest of the three
  const unsigned rgb[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", 64 + rgb[sector][0], 64 + rgb[sector][1],
                64 + rgb[sector][2]);
  return text;
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A range or a gap along the axis, and where it is drawn.
struct Segment {
  uint64_t first, end;
  const LoadedRange* range;  // null for a gap
  bool broken = false;       // a gap drawn shortened
  bool narrow = false;       // drawn at its least width
  int x0 = 0, x1 = 0;
  double length() const { return static_cast<double>(end - first); }
  double least() const { return range != nullptr ? kRangeMin : kGapMin; }
};

// The ranges and gaps in address order, each given a width: a long gap is
// shortened to kBreakWidth; the rest share the axis in proportion to their
// lengths, none narrower than its minimum.
std::vector<Segment> Layout(const LoadAccount& account) {
  std::vector<Segment> segments;
  account.ForEach(
      [&](const LoadedRange& r) {
        segments.push_back({r.first, r.end(), &r});
      },
      [&](uint64_t first, uint64_t length) {
        segments.push_back({first, first + length, nullptr});
      });
  // A gap longer than a quarter of what is drawn to scale is shortened, until
  // none is: one stretch of 4 GiB would leave the next longest all the room.
  double fixed = 0;
  for (bool changed = true; changed;) {
    double scaled = 0;
    for (const Segment& s : segments)
      if (!s.broken) scaled += s.length();
    changed = false;
    for (Segment& s : segments) {
      if (s.broken || s.range != nullptr || s.length() * 4 <= scaled) continue;
      s.broken = changed = true;
      fixed += kBreakWidth;
    }
  }
  // Those that proportion would draw narrower than their minimum get it; the
  // others share what is left.
  double scale = 0;
  for (bool changed = true; changed;) {
    double shared = 0, minimums = fixed;
    for (const Segment& s : segments)
      if (!s.broken) (s.narrow ? minimums : shared) += s.narrow ? s.least() : s.length();
    scale = shared > 0 ? std::max(0.0, kAxis - minimums) / shared : 0;
    changed = false;
    for (Segment& s : segments)
      if (!s.broken && !s.narrow && s.length() * scale < s.least()) s.narrow = changed = true;
  }
  double x = kLeft;
  for (Segment& s : segments) {
    s.x0 = static_cast<int>(x + 0.5);
    x += s.broken ? kBreakWidth : s.narrow ? s.least() : s.length() * scale;
    s.x1 = std::max(s.x0 + 1, static_cast<int>(x + 0.5));
  }
  return segments;
}

// Where `address` lies on the axis: inside its segment in proportion, or
// just beyond the ends.
double X(const std::vector<Segment>& segments, uint64_t address) {
  if (segments.empty()) return kLeft;
  if (address < segments.front().first) return segments.front().x0 - 8;
  if (address >= segments.back().end) return segments.back().x1 + 8;
  const auto s = std::upper_bound(segments.begin(), segments.end(), address,
                                  [](uint64_t a, const Segment& g) { return a < g.first; }) -
                 1;
  return s->x0 +
         (s->x1 - s->x0) * static_cast<double>(address - s->first) / static_cast<double>(s->end - s->first);
}

}  // namespace

// One address axis with a bar for each range, coloured by its section and
// labelled with its addresses; gaps as gaps, the long ones shortened and
// marked with a break; below the axis the overlaps, what the output left out
// and the start address; then a legend. Vector only.
void WriteSvg(std::FILE* to, const LoadAccount& account, const Options& options) {
  const std::vector<Segment> segments = Layout(account);
  const int right = segments.empty() ? kLeft + kAxis : std::max(kLeft + kAxis, segments.back().x1);
  std::vector<uint32_t> sections;  // those that load something, by their lowest address
  std::vector<bool> seen(account.sections().size());
  for (const Segment& s : segments) {
    if (s.range == nullptr || seen[s.range->section]) continue;
    seen[s.range->section] = true;
    sections.push_back(s.range->section);
  }
  std::vector<std::string> lost;
  account.ForEachLoss(
      [&](Loss why, const LossTally& t) { lost.push_back(LossText(why, t, account, options)); });
  const std::vector<Overlap> overlaps = OverlapsByAddress(account);
  const int columns = std::max(1, (right - kLeft) / 190);
  const int legend = kBarTop + kBarHeight + 96;
  const int entries = static_cast<int>(sections.size()) + 4;
  const int height =
      legend + 22 * ((entries + columns - 1) / columns) + 20 * static_cast<int>(lost.size()) + 20;
  std::fprintf(to,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
               "font-family=\"DejaVu Sans Mono, monospace\" font-size=\"11\">\n"
               "<rect width=\"100%%\" height=\"100%%\" fill=\"#ffffff\"/>\n"
               "<text x=\"%d\" y=\"24\" font-size=\"15\">Memory map: %s loaded in %llu range%s</text>\n",
               right + kLeft, height, right + kLeft, height, kLeft, Bytes(LoadedBytes(account)).c_str(),
               static_cast<unsigned long long>(account.size()), account.size() == 1 ? "" : "s");
  const int below = kBarTop + kBarHeight;
  std::fprintf(to, "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#999999\"/>\n", kLeft, below + 3,
               right, below + 3);
  std::fprintf(to, "<g shape-rendering=\"crispEdges\">\n");
  for (const Segment& s : segments) {
    if (s.range == nullptr) continue;
    const LoadedRange& r = *s.range;
    std::fprintf(to,
                 "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"><title>section %s: %s-%s, "
                 "%s, line %lld</title></rect>\n",
                 s.x0, kBarTop, s.x1 - s.x0, kBarHeight, SectionColour(r.section).c_str(),
                 Escaped(SectionName(account, r)).c_str(), Hex(r.first).c_str(), Hex(r.end() - 1).c_str(),
                 Bytes(r.length).c_str(), static_cast<long long>(r.line));
  }
  for (const Overlap& o : overlaps) {
    const double x0 = X(segments, o.first), x1 = X(segments, uint64_t{o.first} + o.length);
    std::fprintf(to, "<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"8\" fill=\"%s\"/>\n", x0, below + 8,
                 std::max(2.0, x1 - x0), kOverlapColour);
  }
  account.ForEachLoss([&](Loss, const LossTally& t) {
    const double x0 = X(segments, t.first), x1 = X(segments, t.first + t.bytes);
    std::fprintf(to, "<rect x=\"%.1f\" y=\"%d\" width=\"%.1f\" height=\"8\" fill=\"%s\"/>\n", x0, below + 18,
                 std::max(2.0, x1 - x0), kLostColour);
  });
  std::fprintf(to, "</g>\n");
  for (const Segment& s : segments) {
    const double middle = (s.x0 + s.x1) / 2.0;
    if (s.range != nullptr) {
      std::fprintf(
          to,
          "<text transform=\"translate(%.1f,%d) rotate(-90)\" dominant-baseline=\"middle\">%s-%s</text>\n",
          middle, kBarTop - 6, Hex(s.first).c_str(), Hex(s.end - 1).c_str());
    } else if (s.broken) {  // two slanted strokes across the bars' height
      for (const double dx : {-5.0, 3.0})
        std::fprintf(to,
                     "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"%s\" stroke-width=\"2\"/>\n",
                     middle + dx - 4, below + 5, middle + dx + 4, kBarTop - 5, kBreakColour);
      std::fprintf(to, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\" font-size=\"9\">gap %s</text>\n",
                   middle, below + 74, Hex(s.end - s.first).c_str());
    }
  }
  if (account.start_line != 0) {
    const double x = X(segments, account.start);
    std::fprintf(to,
                 "<polygon points=\"%.1f,%d %.1f,%d %.1f,%d\" fill=\"#000000\"/>\n"
                 "<text x=\"%.1f\" y=\"%d\">start %s</text>\n",
                 x, below + 30, x - 6, below + 42, x + 6, below + 42, x - 6, below + 56,
                 Hex(account.start).c_str());
  }
  // The legend: a swatch for each section, the marks, then what was left out.
  int entry = 0;
  const auto swatch = [&](const std::string& colour, const std::string& text, bool line) {
    const int x = kLeft + 190 * (entry % columns), y = legend + 22 * (entry / columns);
    if (line)
      std::fprintf(to, "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"%s\" stroke-width=\"2\"/>\n",
                   x + 3, y + 14, x + 11, y, colour.c_str());
    else
      std::fprintf(to, "<rect x=\"%d\" y=\"%d\" width=\"14\" height=\"14\" fill=\"%s\"/>\n", x, y,
                   colour.c_str());
    std::fprintf(to, "<text x=\"%d\" y=\"%d\">%s</text>\n", x + 20, y + 11, Escaped(text).c_str());
    ++entry;
  };
  for (const uint32_t section : sections) {
    const std::string& name = account.sections()[section];
    swatch(SectionColour(section), "section " + (name.empty() ? std::string("-") : name), false);
  }
  swatch(kOverlapColour, "loaded over (" + std::to_string(overlaps.size()) + ")", false);
  swatch(kLostColour, "left out", false);
  swatch(kBreakColour, "gap shortened", true);
  swatch("#000000", account.start_line != 0 ? "start " + Hex(account.start) : "no start address", false);
  int y = legend + 22 * ((entry + columns - 1) / columns) + 6;
  for (const std::string& text : lost) {
    std::fprintf(to, "<text x=\"%d\" y=\"%d\" fill=\"%s\">%s</text>\n", kLeft, y, kLostColour,
                 Escaped("left out: " + text).c_str());
    y += 20;
  }
  std::fprintf(to, "</svg>\n");
}

}  // namespace trelon
