#include "builder_window_rig.h"

#include <unistd.h>

#include <cstdlib>

#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "gui_steps.h"
#include "support/private_network.h"
#include "window/builder_log_list.h"

namespace kestrelon::test {

BuilderWindowRig::BuilderWindowRig(const std::string& builder, bool root) {
  builder_window::BuilderEnvironment environment{[builder] { return builder; }, root};
  auto* frame = new BuilderFrame(std::move(environment));
  frame->SetPosition(wxPoint(10, 10));
  frame->Show();
  frame_ = frame;
  controls_ = frame->GetControls();
}

BuilderWindowRig::~BuilderWindowRig() {
  if (frame_) frame_->Destroy();
  RunSteps({Settle()});
}

void BuilderWindowRig::Click(wxWindow* window) const {
  const wxSize size = window->GetClientSize();
  ClickAt(window, wxPoint(size.x / 2, size.y / 2));
}

void BuilderWindowRig::TypeInto(wxTextCtrl* field, const std::string& text) const {
  Click(field);
  wxUIActionSimulator sim;
  sim.Char('a', wxMOD_CONTROL);
  sim.Text(text.c_str());
}

std::string BuilderWindowRig::Result() const { return controls_.result->GetLabelText().utf8_string(); }

std::string BuilderWindowRig::LogRow(long row) const { return controls_.log->RowText(row).utf8_string(); }

bool BuilderWindowRig::LogHas(const std::string& line) const {
  for (long row = 0; row < controls_.log->GetItemCount(); ++row)
    if (LogRow(row) == line) return true;
  return false;
}

int BuilderWindowRig::LogCount(const std::string& part) const {
  int count = 0;
  for (long row = 0; row < controls_.log->GetItemCount(); ++row)
    count += LogRow(row).find(part) != std::string::npos ? 1 : 0;
  return count;
}

std::string BuilderWindowRig::LogText() const {
  std::string text = "log:\n";
  for (long row = 0; row < controls_.log->GetItemCount(); ++row) text += LogRow(row) + "\n";
  return text + "result: " + Result();
}

LabInterface::LabInterface() {
  // Only in the private namespace the test program entered as root: never on
  // the host's own network.
  if (::geteuid() != 0 || !loopback_multicast_works()) return;
  ok_ = std::system("ip link add bwtest0 type veth peer name bwtest1 && ip addr add 10.77.0.1/24 dev bwtest0 && "
                    "ip link set bwtest0 up && ip link set bwtest1 up") == 0;
}

LabInterface::~LabInterface() {
  if (ok_) std::system("ip link del bwtest0");
}

std::string LabInterface::skip_reason() const {
  return "serving needs an interface of the test's own private network namespace (run as root): " +
         private_network_skip_reason();
}

}  // namespace kestrelon::test
