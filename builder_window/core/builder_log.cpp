#include "core/builder_log.h"

#include "core/builder_texts.h"

namespace kestrelon::builder_window {

void BuilderLog::add(LogKind kind, std::string text) {
  lines_.push_back({kind, std::move(text)});
  if (lines_.size() > limit_) {
    lines_.pop_front();
    ++dropped_;
  }
}

LogLine BuilderLog::row(std::size_t index) const {
  if (dropped_ > 0) {
    if (index == 0) return {LogKind::result, format(text::kLogDropped, std::to_string(dropped_))};
    --index;
  }
  return index < lines_.size() ? lines_[index] : LogLine{LogKind::output, {}};
}

}  // namespace kestrelon::builder_window
