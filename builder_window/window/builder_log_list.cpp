#include "window/builder_log_list.h"

#include <wx/clipbrd.h>
#include <wx/settings.h>

#include "core/builder_log.h"

using kestrelon::builder_window::LogKind;

namespace {

// Wider than any line the builder prints, so long lines scroll instead of being cut.
constexpr int kColumnWidth = 2400;

// The builder's output is UTF-8 as a rule; a program that prints another
// encoding still shows its lines, byte for character.
wxString FromProgram(const std::string& text) {
  wxString converted = wxString::FromUTF8(text);
  if (converted.empty() && !text.empty()) converted = wxString::From8BitData(text.data(), text.size());
  return converted;
}

}  // namespace

BuilderLogList::BuilderLogList(wxWindow* parent, const kestrelon::builder_window::BuilderLog& log)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_NO_HEADER | wxBORDER_THEME),
      log_(log) {
  SetName("log");
  AppendColumn("", wxLIST_FORMAT_LEFT, kColumnWidth);
  SetFont(wxSystemSettings::GetFont(wxSYS_ANSI_FIXED_FONT));
  Bind(wxEVT_KEY_DOWN, &BuilderLogList::OnKey, this);
}

void BuilderLogList::Render() {
  const long rows = static_cast<long>(log_.rows());
  SetItemCount(rows);
  // Rows move up when old ones are dropped: every visible row may have changed.
  Refresh();
  if (rows > 0) EnsureVisible(rows - 1);
}

wxString BuilderLogList::RowText(long row) const { return OnGetItemText(row, 0); }

wxString BuilderLogList::OnGetItemText(long item, long) const {
  return FromProgram(log_.row(static_cast<std::size_t>(item)).text);
}

wxItemAttr* BuilderLogList::OnGetItemAttr(long item) const {
  const LogKind kind = log_.row(static_cast<std::size_t>(item)).kind;
  wxFont font = GetFont();
  font.SetWeight(kind == LogKind::command || kind == LogKind::result ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
  attr_.SetFont(font);
  attr_.SetTextColour(kind == LogKind::error ? *wxRED : GetForegroundColour());
  return &attr_;
}

void BuilderLogList::OnKey(wxKeyEvent& event) {
  if (!(event.ControlDown() && event.GetKeyCode() == 'C')) {
    event.Skip();
    return;
  }
  wxString lines;
  for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    lines += RowText(row) + "\n";
  if (!lines.empty() && wxTheClipboard->Open()) {
    wxTheClipboard->SetData(new wxTextDataObject(lines));
    wxTheClipboard->Close();
  }
}
