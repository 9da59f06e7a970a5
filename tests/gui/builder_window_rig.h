#pragma once
// The builder window as its tests build it: the real frame running a given
// builder program, placed at the top left, with clicks and typing that go
// through the X server, and what its log and result line show. Also an
// interface to serve on: a veth pair with an IPv4 address in the test's
// private network.
#include <string>

#include <wx/weakref.h>

#include "window/builder_frame.h"

class wxTextCtrl;

namespace kestrelon::test {

class BuilderWindowRig {
 public:
  explicit BuilderWindowRig(const std::string& builder, bool root = true);
  ~BuilderWindowRig();

  BuilderFrame* Frame() const { return frame_.get(); }
  const BuilderFrame::Controls& Controls() const { return controls_; }

  void Click(wxWindow* window) const;
  void TypeInto(wxTextCtrl* field, const std::string& text) const;

  std::string Result() const;
  std::string LogRow(long row) const;
  bool LogHas(const std::string& line) const;
  int LogCount(const std::string& part) const;  // rows holding `part`
  std::string LogText() const;                  // every row, for a failure's message

 private:
  wxWeakRef<BuilderFrame> frame_;
  BuilderFrame::Controls controls_;
};

// A veth pair, bwtest0 (10.77.0.1/24) and bwtest1, made only inside the test's
// private network namespace (as root), and removed again.
class LabInterface {
 public:
  static constexpr const char* kLabel = "bwtest0  10.77.0.1/24";

  LabInterface();
  ~LabInterface();
  bool ok() const { return ok_; }
  std::string skip_reason() const;

 private:
  bool ok_ = false;
};

}  // namespace kestrelon::test
