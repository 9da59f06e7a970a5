#include "model/image_file_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace kestrelon {
namespace {

unsigned char fold(char c) { return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c))); }

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if (c < 0x80) extra = 0;
    else if ((c >> 5) == 0x6) extra = 1;
    else if ((c >> 4) == 0xE) extra = 2;
    else if ((c >> 3) == 0x1E) extra = 3;
    else return false;
    if (i + extra >= s.size() && extra > 0) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Windows-1252 bytes 0x80-0x9F; the rest of the upper half equals Latin-1.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

ImageListFollow follow_image_folder(const std::vector<std::string>& shown, const std::string& selected_name,
                                    std::vector<std::string> listed) {
  ImageListFollow follow;
  follow.changed = listed != shown;
  follow.names = std::move(listed);
  if (!selected_name.empty()) {
    const auto at = std::find(follow.names.begin(), follow.names.end(), selected_name);
    if (at != follow.names.end()) follow.selected = static_cast<int>(at - follow.names.begin());
  }
  return follow;
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool image_list_before(std::string_view a, std::string_view b) {
  const bool folded_less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                        [](char x, char y) { return fold(x) < fold(y); });
  const bool folded_greater = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                                           [](char x, char y) { return fold(x) < fold(y); });
  if (folded_less || folded_greater) return folded_less;
  return a < b;
}

ImageFolderListing list_image_files(const std::string& folder, std::string_view pattern) {
  ImageFolderListing listing;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
  if (ec) return listing;
  for (const auto& entry : it) {
    const std::string name = entry.path().filename().string();
    if (!wildcard_match(pattern, name)) continue;
    listing.matched = true;
    // Regular files only, through symbolic links: opening a pipe or a device
    // named like an image would block the user-interface thread.
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    listing.files.push_back(name);
  }
  std::sort(listing.files.begin(), listing.files.end(),
            [](const std::string& a, const std::string& b) { return image_list_before(a, b); });
  return listing;
}

std::string image_file_path(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string description_to_utf8(std::string_view bytes) {
  if (valid_utf8(bytes)) return std::string(bytes);
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    append_utf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

}  // namespace kestrelon
