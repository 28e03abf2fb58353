#include "map/map.hpp"

namespace trelon {

// One line for each range and gap in address order, then the overlaps, the
// start address and what the output left out.
void WriteText(std::FILE* to, const LoadAccount& account, const Options& options) {
  const bool offsets = account.file.has_value();
  std::fprintf(to, "Memory map: %s loaded in %llu range%s\n", Bytes(LoadedBytes(account)).c_str(),
               static_cast<unsigned long long>(account.size()), account.size() == 1 ? "" : "s");
  std::fprintf(to, "Section   First     Last      Length    %sLine\n", offsets ? "In file   " : "");
  account.ForEach(
      [&](const LoadedRange& r) {
        std::string offset;
        if (offsets) {
          const auto at = FileOffset(account, r);
          offset = (at ? Hex(*at) : std::string("-       ")) + "  ";
        }
        std::fprintf(to, "%-9s %s  %s  %s  %s%lld\n", SectionName(account, r), Hex(r.first).c_str(),
                     Hex(r.end() - 1).c_str(), Hex(r.length).c_str(), offset.c_str(),
                     static_cast<long long>(r.line));
      },
      [&](uint64_t first, uint64_t length) {
        std::fprintf(to, "  gap     %s  %s  %s\n", Hex(first).c_str(), Hex(first + length - 1).c_str(),
                     Hex(length).c_str());
      });
  for (const Overlap& o : OverlapsByAddress(account))
    std::fprintf(to, "Overlap   %s  %s  %s  line %lld over line %lld\n", Hex(o.first).c_str(),
                 Hex(uint64_t{o.first} + o.length - 1).c_str(), Hex(o.length).c_str(),
                 static_cast<long long>(o.line), static_cast<long long>(o.earlier_line));
  if (account.start_line == 0) {
    std::fprintf(to, "Start     none given\n");
  } else {
    std::fprintf(to, "Start     %s  %s\n", Hex(account.start).c_str(),
                 account.Contains(account.start) ? "in a loaded range" : "outside every loaded range");
  }
  account.ForEachLoss([&](Loss why, const LossTally& t) {
    std::fprintf(to, "Left out  %s (line %lld)\n", LossText(why, t, account, options).c_str(),
                 static_cast<long long>(t.line));
  });
}

}  // namespace trelon
