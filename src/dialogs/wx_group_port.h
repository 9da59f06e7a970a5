#pragma once
// The group dialogs' messages and the replace question as message boxes over the
// dialog that asks.
#include "commands/group_port.h"

class wxWindow;

class WxGroupPort final : public kestrelon::GroupPort {
 public:
  explicit WxGroupPort(wxWindow* parent) : parent_(parent) {}
  void show_message(const std::string& text) override;
  bool ask_yes_no(const std::string& text) override;

 private:
  wxWindow* parent_;
};
