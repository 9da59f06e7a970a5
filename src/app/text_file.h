#pragma once
// Whole-file reads and replacing writes for the small text files of the program
// (settings, groups). A write never leaves a half-written file: the text goes to a
// temporary file in the same folder, is flushed to disk and then renamed over the
// old one, so a crash or a full disk leaves either the old or the new file.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

// The file's bytes; nullopt when it is missing or unreadable (`error` gets errno).
std::optional<std::string> read_text_file(const std::filesystem::path& file, int* error = nullptr);

// Replaces the file's contents. A symbolic link is followed, and an existing file
// keeps its permission bits. Returns 0 or an errno value.
int replace_text_file(const std::filesystem::path& file, std::string_view text);

// Runs `work` while holding an exclusive lock on the file's folder, so two
// processes that change the same file one after the other do not lose an update.
// The folder is created when missing. Returns an errno value when the folder
// cannot be created or locked, else the result of `work`.
int with_folder_lock(const std::filesystem::path& file, const std::function<int()>& work);

}  // namespace kestrelon
