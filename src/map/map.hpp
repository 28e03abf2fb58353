// The memory map: what the account of a module's loads holds, written as
// text (the console's and .txt), JSON or SVG.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options.hpp"
#include "reader/account.hpp"

namespace trelon {

// The form that a map file's extension names: .txt, .json or .svg.
std::optional<MapForm> MapFormOf(std::string_view path);

// The map in `form` to `to`.
void WriteMap(std::FILE* to, MapForm form, const LoadAccount& account, const Options& options);

// What the forms share.
std::string Hex(uint64_t v);    // upper case, 8 digits at least
std::string Bytes(uint64_t n);  // "1 byte", "N bytes"
// What became of bytes lost one way: "16 bytes from FFFFFFF0 on are not
// written: past the end of the image ...".
std::string LossText(Loss why, const LossTally& t, const LoadAccount& account, const Options& options);
// The section of a range as the module writes it ("-" for none).
const char* SectionName(const LoadAccount& account, const LoadedRange& r);
// Where the output file holds the first byte of `r`, if it does.
std::optional<uint64_t> FileOffset(const LoadAccount& account, const LoadedRange& r);
std::vector<Overlap> OverlapsByAddress(const LoadAccount& account);
uint64_t LoadedBytes(const LoadAccount& account);

void WriteText(std::FILE* to, const LoadAccount& account, const Options& options);
void WriteJson(std::FILE* to, const LoadAccount& account, const Options& options);
void WriteSvg(std::FILE* to, const LoadAccount& account, const Options& options);

}  // namespace trelon
