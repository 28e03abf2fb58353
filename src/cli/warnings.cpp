#include "cli/warnings.hpp"

#include <cstring>

#include "map/map.hpp"

namespace trelon {

bool WarnOfLoads(Console& console, const LoadAccount& account, const Options& options, const char* input,
                 bool ended) {
  const char* name = std::strcmp(input, "-") == 0 ? "<stdin>" : input;
  for (const Overlap& o : account.overlaps())
    console.Diagnostic("%s:%lld: warning: %s at %s-%s %s data loaded in line %lld\n", name,
                       static_cast<long long>(o.line), Bytes(o.length).c_str(), Hex(o.first).c_str(),
                       Hex(uint64_t{o.first} + o.length - 1).c_str(), o.length == 1 ? "replaces" : "replace",
                       static_cast<long long>(o.earlier_line));
  if (account.overlap_count() > account.overlaps().size())
    console.Note("%llu more loads over loaded data are not shown (--map lists them all)\n",
                 static_cast<unsigned long long>(account.overlap_count() - account.overlaps().size()));
  if (account.stopped_at() != 0)
    console.Note(
        "more than %llu separate ranges are loaded: from line %lld on, loads are not checked for overlaps, "
        "the start address or bytes the image leaves out (--map checks them all)\n",
        static_cast<unsigned long long>(LoadAccount::kRangeLimit),
        static_cast<long long>(account.stopped_at()));
  if (!ended) return false;
  bool lost = false;
  account.ForEachLoss([&](Loss why, const LossTally& t) {
    lost = true;
    console.Diagnostic("%s:%lld: %s: %s\n", name, static_cast<long long>(t.line),
                       options.strict ? "error" : "warning", LossText(why, t, account, options).c_str());
  });
  if (account.start_line != 0 && account.stopped_at() == 0 && !account.Contains(account.start))
    console.Diagnostic("%s:%lld: warning: the start address %s lies outside every loaded range\n", name,
                       static_cast<long long>(account.start_line), Hex(account.start).c_str());
  return lost;
}

}  // namespace trelon
