#include "map/map.hpp"

namespace trelon {

namespace {

// `text` as a JSON string.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The name of each way bytes are lost, as the JSON says it.
constexpr const char* kLossNames[kLosses] = {"past_image", "before_asl", "before_stream",
                                             "past_address_width", "moved"};

}  // namespace

// The same facts as the text, for scripts; every address, length and line is
// a JSON integer. The schema is in the README ("The memory map as data").
void WriteJson(std::FILE* to, const LoadAccount& account, const Options& options) {
  const auto u = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  std::fprintf(to, "{\n  \"version\": 1,\n  \"loaded_bytes\": %llu,\n  \"ranges\": [",
               u(LoadedBytes(account)));
  const char* comma = "";
  account.ForEach([&](const LoadedRange& r) {
    std::fprintf(to, "%s\n    {\"section\": %s, \"address\": %llu, \"length\": %llu, \"line\": %lld", comma,
                 Quoted(account.sections()[r.section]).c_str(), u(r.first), u(r.length),
                 static_cast<long long>(r.line));
    if (account.file) {
      const auto at = FileOffset(account, r);
      if (at)
        std::fprintf(to, ", \"file_offset\": %llu}", u(*at));
      else
        std::fprintf(to, ", \"file_offset\": null}");
    } else {
      std::fprintf(to, "}");
    }
    comma = ",";
  });
  std::fprintf(to, "%s],\n  \"gaps\": [", *comma != '\0' ? "\n  " : "");
  comma = "";
  account.ForEach([](const LoadedRange&) {},
                  [&](uint64_t first, uint64_t length) {
                    std::fprintf(to, "%s\n    {\"address\": %llu, \"length\": %llu}", comma, u(first),
                                 u(length));
                    comma = ",";
                  });
  std::fprintf(to, "%s],\n  \"overlaps\": [", *comma != '\0' ? "\n  " : "");
  comma = "";
  const std::vector<Overlap> overlaps = OverlapsByAddress(account);
  for (const Overlap& o : overlaps) {
    std::fprintf(to, "%s\n    {\"address\": %llu, \"length\": %llu, \"line\": %lld, \"earlier_line\": %lld}",
                 comma, u(o.first), u(o.length), static_cast<long long>(o.line),
                 static_cast<long long>(o.earlier_line));
    comma = ",";
  }
  std::fprintf(to, "%s],\n  \"start\": ", overlaps.empty() ? "" : "\n  ");
  if (account.start_line == 0) {
    std::fprintf(to, "null");
  } else {
    std::fprintf(to, "{\"address\": %llu, \"line\": %lld, \"in_loaded_range\": %s}", u(account.start),
                 static_cast<long long>(account.start_line),
                 account.Contains(account.start) ? "true" : "false");
  }
  std::fprintf(to, ",\n  \"left_out\": [");
  comma = "";
  account.ForEachLoss([&](Loss why, const LossTally& t) {
    std::fprintf(to, "%s\n    {\"reason\": \"%s\", \"bytes\": %llu, \"address\": %llu, \"line\": %lld", comma,
                 kLossNames[static_cast<int>(why)], u(t.bytes), u(t.first), static_cast<long long>(t.line));
    if (why == Loss::kMoved) std::fprintf(to, ", \"written_at\": %llu", u(t.other));
    std::fprintf(to, ", \"text\": %s}", Quoted(LossText(why, t, account, options)).c_str());
    comma = ",";
  });
  std::fprintf(to, "%s]\n}\n", *comma != '\0' ? "\n  " : "");
}

}  // namespace trelon
