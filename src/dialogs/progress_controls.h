#pragma once
// The controls the Transfer and Receiving dialogs share, laid out on 255 x 145
// dialog units: file name and size, rate, percentage, the progress bar, the Client,
// elapsed and left times, acknowledgements, retries and Cancel. Each dialog owns
// one set and hands it the texts of every refresh.
#include <wx/string.h>

#include "transfer/transfer_texts.h"

class wxDialog;
class wxGauge;
class wxStaticText;
class wxWindow;

namespace kestrelon::progress_ids {
inline constexpr int kBar = 1039;
inline constexpr int kTimeLeft = 1043;
inline constexpr int kElapsed = 1044;
inline constexpr int kClient = 1078;
inline constexpr int kAcknowledgements = 1079;
inline constexpr int kRetries = 1080;
inline constexpr int kPercentage = 1081;
inline constexpr int kFile = 1082;
inline constexpr int kRate = 1084;
inline constexpr int kRefreshTimer = 4;
inline constexpr int kRefreshPeriodMs = 333;
}  // namespace kestrelon::progress_ids

class ProgressControls {
 public:
  // `heading` names what moves ("Multicasting image file:"), `client_label` the
  // Client shown ("Client Master Name:"); `file` and `client` are the first texts.
  ProgressControls(wxDialog* dialog, const wxString& heading, const wxString& client_label, const wxString& file,
                   const wxString& client);

  // One refresh: every text, and the bar at `texts.bar_position` of 0..`range_high`
  // (a range of 0 keeps the bar's range; a position past the end keeps it full).
  void Show(const kestrelon::RefreshTexts& texts, int range_high);

  wxGauge* Bar() const { return bar_; }
  // The text of a control by its id, as shown now.
  wxString Text(int id) const;

 private:
  wxDialog* dialog_;
  wxGauge* bar_ = nullptr;
};
