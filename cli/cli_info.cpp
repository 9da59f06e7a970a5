// kestrelon-cli info: what an image file holds, without the window: its
// description, its partitions with their sizes, its length, and whether it is a
// well-formed image; with --verify, also whether every chunk of it is sound,
// read to its end. Exit code 0 for a well-formed (and sound) image, 1 for a file
// that is not one, 2 when it cannot be read.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli_commands.h"
#include "client_choice.h"
#include "error_report.h"
#include "image/image_verifier.h"
#include "json_text.h"
#include "progress_line.h"
#include "text_table.h"
#include "transfer/image_file.h"
#include "transfer/image_info.h"

namespace kestrelon::cli {

namespace {

struct InfoArgs {
  std::string image;
  bool json = false;
  bool verify = false;
};

using client::image::Verdict;

std::uint64_t bytes(std::uint64_t sectors) { return sectors * 512; }

// Decimal megabytes with one decimal, as the transfers show them.
std::string megabytes(std::uint64_t byte_count) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(byte_count) / 1e6);
  return text;
}

std::string type_text(int type) {
  char text[48];
  std::snprintf(text, sizeof text, "%s (0x%02x)", partition_type_name(type), type);
  return text;
}

// Reads the whole image, with the share read on a terminal.
std::optional<Verdict> verify(const std::string& path, std::string* error) {
  ProgressLine line;
  int shown = -1;
  const auto progress = [&](std::uint64_t done, std::uint64_t total) {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == shown) return;
    shown = percent;
    line.show({"Verifying " + printable(path), std::to_string(percent) + " %",
               megabytes(done) + " of " + megabytes(total)});
  };
  auto verdict = client::image::verify_image(path, progress, error);
  line.clear();
  return verdict;
}

std::string verdict_text(const Verdict& v) {
  const std::string counted = std::to_string(v.chunks) + " chunks, " + megabytes(v.raw_bytes) + " of disk data";
  if (v.sound) return "yes, every chunk (" + counted + ")";
  return "no: " + printable(v.problem) + " (" + counted + " sound before it)";
}

void print_json(const std::string& path, const ImageInfo& info, const std::optional<Verdict>& verdict) {
  Json partitions = Json::array();
  for (const ImagePartitionInfo& p : info.partitions) {
    partitions.push_back({{"number", p.number},
                          {"type", p.type},
                          {"type_name", partition_type_name(p.type)},
                          {"full_bytes", bytes(p.full_sectors)},
                          {"data_bytes", bytes(p.data_sectors)}});
  }
  Json shown{{"file", path},
             {"bytes", info.length},
             {"description", info.description},
             {"partitions", partitions},
             {"full_bytes", bytes(info.full_sectors)},
             {"data_bytes", bytes(info.data_sectors)},
             {"well_formed", info.well_formed()},
             {"problem", info.well_formed() ? Json() : Json(info.problem)}};
  if (verdict) {
    shown["verified"] = {{"sound", verdict->sound},
                         {"chunks", verdict->chunks},
                         {"data_bytes", verdict->raw_bytes},
                         {"problem", verdict->sound ? Json() : Json(verdict->problem)}};
  }
  std::printf("%s\n", json_text(shown).c_str());
}

void print_text(const std::string& path, const ImageInfo& info, const std::optional<Verdict>& verdict) {
  std::vector<std::vector<std::string>> head{
      {"File:", printable(path)},
      {"Length:", std::to_string(info.length) + " bytes (" + megabytes(info.length) + ")"},
      {"Description:", printable(info.description)},
      {"Partitions:", std::to_string(info.partitions.size()) + ", full " + megabytes(bytes(info.full_sectors)) +
                          ", data " + megabytes(bytes(info.data_sectors))},
      {"Well-formed:", info.well_formed() ? "yes" : "no: " + printable(info.problem)}};
  if (verdict) head.push_back({"Sound:", verdict_text(*verdict)});
  print_text_table(head);
  if (info.partitions.empty()) return;
  std::vector<std::vector<std::string>> rows{{"  Number", "Type", "Full size", "Data size"}};
  for (const ImagePartitionInfo& p : info.partitions) {
    rows.push_back({"  " + std::to_string(p.number), type_text(p.type), megabytes(bytes(p.full_sectors)),
                    megabytes(bytes(p.data_sectors))});
  }
  print_text_table(rows);
}

int run_info(const InfoArgs& a) {
  std::string error;
  const std::optional<ImageInfo> info = read_image_info(a.image, &error);
  if (!info) return usage_error("info", error);
  // A file without a partition summary is no image at all: one line says so.
  if (!info->has_summary && !a.json) {
    report_error("info", printable(a.image) + " is not an image: " +
                             (info->length < image::kHeaderLength
                                  ? "it holds " + std::to_string(info->length) + " bytes, and an image at least " +
                                        std::to_string(image::kHeaderLength)
                                  : std::string("its partition summary cannot be read or claims more than 12 partitions")));
    return kExitFailed;
  }
  std::optional<Verdict> verdict;
  if (a.verify) {
    verdict = verify(a.image, &error);
    if (!verdict) return usage_error("info", error);
  }
  if (a.json) {
    print_json(a.image, *info, verdict);
  } else {
    print_text(a.image, *info, verdict);
  }
  return info->well_formed() && (!verdict || verdict->sound) ? kExitOk : kExitFailed;
}

CommandRun define_info(CLI::App& command) {
  auto a = std::make_shared<InfoArgs>();
  command.add_option("IMAGE", a->image, "the image file")->required();
  command.add_flag("--json", a->json, "print one JSON object (sizes in bytes)");
  command.add_flag("--verify", a->verify,
                   "read the whole image and check every chunk against its checksum (kestrelon-client images)");
  command.footer(
      "Shows the description, the partitions (number, type, full and data size), the length, and\n"
      "whether the file is a well-formed image; with --verify, also whether every chunk is sound\n"
      "(the first damaged one is named by its number and the byte where it starts). Exit code: 0\n"
      "well-formed (and sound); 1 not an image, or damaged or cut off; 2 the file cannot be read.");
  return [a](const Args&) { return run_info(*a); };
}

[[maybe_unused]] const bool registered =
    register_command({"info", "show what an image file holds", SwitchWords::refused, define_info});

}  // namespace

}  // namespace kestrelon::cli
