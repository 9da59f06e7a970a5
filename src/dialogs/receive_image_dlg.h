#pragma once
// The Receiving Disk Image dialog of a Create: shows the source Client's name,
// address and the image's expected size, and takes a description of at most 400
// characters and a compression level (slider 0 "None" to 9 "Maximum", starting at
// 9). "Receive Image" keeps both; Cancel ends the Create.
#include <string>

#include <wx/dialog.h>

#include "commands/create_flow.h"

class wxSlider;
class wxTextCtrl;

class CReceiveImageDlg : public wxDialog {
 public:
  static constexpr int kTemplateId = 146;
  static constexpr int kClientName = 1049;
  static constexpr int kClientAddress = 1050;
  static constexpr int kImageSize = 1051;
  static constexpr int kDescription = 1135;
  static constexpr int kCompression = 1139;

  CReceiveImageDlg(wxWindow* parent, const kestrelon::ReceiveImageInfo& info);

  // What the user chose; read after the dialog ended with OK.
  const kestrelon::ReceiveImageChoice& Choice() const { return choice_; }
  wxTextCtrl* Description() const { return description_; }
  wxSlider* Compression() const { return compression_; }

 private:
  void OnReceive(wxCommandEvent&);

  wxTextCtrl* description_ = nullptr;
  wxSlider* compression_ = nullptr;
  kestrelon::ReceiveImageChoice choice_;
};
