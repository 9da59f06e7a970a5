#include "controls/check_list_ctrl.h"

#include <algorithm>

#include <wx/dcclient.h>
#include <wx/headerctrl.h>
#include <wx/renderer.h>
#include <wx/scrolbar.h>
#include <wx/settings.h>
#include <wx/vlbox.h>

#include "controls/close_wait.h"
#include "controls/dib.h"
#include "controls/wx_text_measure.h"
#include "model/ellipsis.h"

wxDEFINE_EVENT(EVT_CHECKLIST_CLICK, wxCommandEvent);
wxDEFINE_EVENT(EVT_CHECKLIST_DCLICK, wxCommandEvent);

using kestrelon::CheckListModel;
using kestrelon::ColumnAlign;

namespace {

constexpr int kStatePicture = 16;
constexpr std::size_t kCellTextLimit = 259;  // longer texts are cut for drawing

std::string CutForDrawing(std::string text) {
  if (kestrelon::utf8_length(text) > kCellTextLimit) text.resize(kestrelon::utf8_prefix_bytes(text, kCellTextLimit));
  return text;
}

}  // namespace

// The scrolling body of the list: one line per model row.
class CCheckListCtrl::Rows : public wxVListBox {
 public:
  explicit Rows(CCheckListCtrl* owner)
      : wxVListBox(owner, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxWANTS_CHARS),
        owner_(owner) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
    Bind(wxEVT_LEFT_DOWN, &Rows::OnLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &Rows::OnLeftDoubleClick, this);
    Bind(wxEVT_RIGHT_DCLICK, [](wxMouseEvent&) {});
    Bind(wxEVT_KEY_DOWN, &Rows::OnKeyDown, this);
    Bind(wxEVT_LISTBOX, &Rows::OnSelection, this);
    Bind(wxEVT_SET_FOCUS, &Rows::OnFocus, this);
    Bind(wxEVT_KILL_FOCUS, &Rows::OnFocus, this);
  }

  int RowAt(wxPoint point) const { return VirtualHitTest(point.y); }

  // The text of a cell shortened for its width, as the drawing shows it.
  std::string Shortened(int row, int column, bool* shortened = nullptr) const {
    const CheckListModel& model = owner_->model_;
    wxClientDC dc(const_cast<Rows*>(this));
    dc.SetFont(GetFont());
    const std::string text = CutForDrawing(model.cell(row, column));
    int width = owner_->ColumnWidth(column);
    int margin = 2 * model.other_column_margin();
    if (column == 0) {
      width -= LabelLeft();
      margin = 2 * model.first_column_margin();
    }
    std::string out = kestrelon::list_cell_ellipsis(text, width, margin, kestrelon::dc_text_measure(dc));
    if (shortened) *shortened = out != text;
    return out;
  }

  int LabelLeft() const { return owner_->model_.check_images() ? kStatePicture + 2 : 0; }

 protected:
  wxCoord OnMeasureItem(size_t) const override { return owner_->RowHeight(); }

  // The whole line is painted in OnDrawItem: highlight included.
  void OnDrawBackground(wxDC&, const wxRect&, size_t) const override {}

  void OnDrawItem(wxDC& dc, const wxRect& rect, size_t n) const override {
    const CheckListModel& model = owner_->model_;
    const int row = static_cast<int>(n);
    const bool highlighted = model.is_selected(row);
    const int columns = static_cast<int>(owner_->widths_.size());
    const int total = owner_->TotalColumnWidth();
    const int x0 = rect.x - owner_->x_offset_;  // columns scrolled sideways

    // Row rectangle: from the label's left edge, stretched to the client's right edge.
    const int client_width = GetClientSize().GetWidth();
    wxRect row_rect(x0 + LabelLeft(), rect.y, std::max(total - owner_->x_offset_, client_width) - x0 - LabelLeft(),
                    rect.height);

    dc.SetFont(GetFont());
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(GetBackgroundColour()));
    dc.DrawRectangle(rect);
    const wxColour text_colour = wxSystemSettings::GetColour(highlighted ? wxSYS_COLOUR_HIGHLIGHTTEXT
                                                                          : wxSYS_COLOUR_WINDOWTEXT);
    if (highlighted) {
      dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
      dc.DrawRectangle(row_rect);
    }
    dc.SetTextForeground(text_colour);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);

    const int state = model.check_state(row);
    if (model.check_images() && state >= 1 && owner_->state_images_.GetImageCount() >= state)
      owner_->state_images_.Draw(state - 1, dc, x0, rect.y + (rect.height - kStatePicture) / 2,
                                 wxIMAGELIST_DRAW_TRANSPARENT);

    int left = x0;
    for (int column = 0; column < columns; ++column) {
      const int width = owner_->ColumnWidth(column);
      wxRect cell(left, rect.y, width, rect.height);
      left += width;
      int margin = model.other_column_margin();
      if (column == 0) {
        cell.x += LabelLeft();
        cell.width -= LabelLeft();
        margin = model.first_column_margin();
      }
      bool shortened = false;
      const std::string text = Shortened(row, column, &shortened);
      if (text.empty()) continue;
      int align = wxALIGN_LEFT;
      if (column > 0 && !shortened) {
        const ColumnAlign a = model.columns()[static_cast<std::size_t>(column)].align;
        if (a == ColumnAlign::right) align = wxALIGN_RIGHT;
        if (a == ColumnAlign::centre) align = wxALIGN_CENTRE_HORIZONTAL;
      }
      cell.Deflate(margin, 0);
      dc.DrawLabel(wxString::FromUTF8(text), cell, align | wxALIGN_CENTRE_VERTICAL);
    }

    if (model.focused_row() == row && wxWindow::FindFocus() == this)
      wxRendererNative::Get().DrawFocusRect(const_cast<Rows*>(this), dc, row_rect);
  }

 private:
  void OnLeftDown(wxMouseEvent& event) {
    const int row = RowAt(event.GetPosition());
    owner_->model_.click_toggle(row);
    event.Skip();  // the list selects the row and takes the focus
    SendToOwner(EVT_CHECKLIST_CLICK, row);
  }

  void OnLeftDoubleClick(wxMouseEvent& event) {
    const int row = RowAt(event.GetPosition());
    if (row < 0) return;  // off the rows: dropped
    owner_->model_.click_toggle(row);
    SendToOwner(EVT_CHECKLIST_DCLICK, row);
  }

  // Space checks or unchecks the highlighted row, as a click on it does; every
  // other key moves the selection as the list's own keys do.
  void OnKeyDown(wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_SPACE || event.HasAnyModifiers()) {
      event.Skip();
      return;
    }
    const int row = owner_->model_.space_toggle();
    if (row >= 0) SendToOwner(EVT_CHECKLIST_CLICK, row);
  }

  void OnSelection(wxCommandEvent& event) {
    if (event.GetInt() >= 0) owner_->model_.select_row(event.GetInt());
  }

  void OnFocus(wxFocusEvent& event) {
    const int focused = owner_->model_.focused_row();
    if (focused >= 0) RefreshRow(static_cast<size_t>(focused));
    event.Skip();
  }

  // Queued, so the owner hears of the click after the list has selected the row.
  void SendToOwner(wxEventType type, int row) {
    auto* notice = new wxCommandEvent(type, owner_->GetId());
    notice->SetInt(row);
    notice->SetEventObject(owner_);
    owner_->GetEventHandler()->QueueEvent(notice);
  }

  CCheckListCtrl* owner_;
};

CCheckListCtrl::CCheckListCtrl(wxWindow* parent, wxWindowID id, CheckListModel& model, const wxPoint& pos,
                               const wxSize& size)
    : wxPanel(parent, id, pos, size, wxBORDER_SUNKEN | wxTAB_TRAVERSAL),
      model_(model),
      state_images_(kStatePicture, kStatePicture, true) {
  header_ = new wxHeaderCtrlSimple(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxHD_DEFAULT_STYLE & ~wxHD_ALLOW_REORDER);
  rows_ = new Rows(this);
  sideways_ = new wxScrollBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_HORIZONTAL);
  sideways_->Hide();
  for (auto type : {wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_LINEUP, wxEVT_SCROLL_LINEDOWN,
                    wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN, wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM,
                    wxEVT_SCROLL_CHANGED})
    sideways_->Bind(type, [this](wxScrollEvent&) { ScrollHorizontally(sideways_->GetThumbPosition()); });
  // Pure red marks the transparent part of every check picture.
  if (const wxBitmap strip = LoadResourceBitmap("CHECKMARKS"); strip.IsOk())
    state_images_.Add(strip, wxColour(255, 0, 0));

  Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
    LayOutChildren();
    e.Skip();
  });

  model_.set_change_handler([this](const kestrelon::ListChange& change) { OnModelChange(change); });
  UpdateColumns();
  OnModelChange({});
}

CCheckListCtrl::~CCheckListCtrl() {
  model_.set_change_handler(nullptr);
  WaitWithoutInput(wxGetTopLevelParent(this), kCloseWaitMs);
}

bool CCheckListCtrl::HasFocus() const { return wxWindow::FindFocus() == rows_; }

int CCheckListCtrl::RowHeight() const { return std::max(kStatePicture + 2, rows_->GetCharHeight() + 4); }

int CCheckListCtrl::ColumnWidth(int column) const {
  return column >= 0 && column < static_cast<int>(widths_.size()) ? widths_[static_cast<std::size_t>(column)] : 0;
}

void CCheckListCtrl::UpdateColumns() {
  wxClientDC dc(rows_);
  dc.SetFont(rows_->GetFont());
  widths_.clear();
  header_->DeleteAllColumns();
  for (const auto& column : model_.columns()) {
    const wxString title = wxString::FromUTF8(column.header);
    int width = dc.GetTextExtent(title).GetWidth() + column.extra_width();
    const std::size_t index = widths_.size();
    if (index < minimum_texts_.size() && !minimum_texts_[index].empty()) {
      const int margin = 2 * (index == 0 ? model_.first_column_margin() : model_.other_column_margin());
      width = std::max(width, dc.GetTextExtent(wxString::FromUTF8(minimum_texts_[index])).GetWidth() + margin);
    }
    widths_.push_back(width);
    const wxAlignment align = column.align == ColumnAlign::right    ? wxALIGN_RIGHT
                              : column.align == ColumnAlign::centre ? wxALIGN_CENTRE
                                                                    : wxALIGN_LEFT;
    header_->AppendColumn(wxHeaderColumnSimple(title, width, align, 0));
  }
  LayOutChildren();
  rows_->Refresh();
}

void CCheckListCtrl::ShowHeader(bool show) {
  header_->Show(show);
  LayOutChildren();
}

int CCheckListCtrl::TotalColumnWidth() const {
  int total = 0;
  for (int w : widths_) total += w;
  return total;
}

bool CCheckListCtrl::HorizontalScrollShown() const { return sideways_->IsShown(); }

void CCheckListCtrl::LayOutChildren() {
  const wxSize client = GetClientSize();
  const int header_height = header_->IsShown() ? header_->GetBestSize().GetHeight() : 0;
  const int total = TotalColumnWidth();
  const bool sideways = total > client.x && client.x > 0;
  const int bar_height = sideways ? sideways_->GetBestSize().GetHeight() : 0;
  header_->SetSize(0, 0, client.x, header_height);
  rows_->SetSize(0, header_height, client.x, std::max(0, client.y - header_height - bar_height));
  sideways_->Show(sideways);
  if (sideways) {
    sideways_->SetSize(0, client.y - bar_height, client.x, bar_height);
    sideways_->SetScrollbar(std::min(x_offset_, total - client.x), client.x, total, client.x);
  }
  ScrollHorizontally(sideways ? sideways_->GetThumbPosition() : 0);
}

void CCheckListCtrl::ScrollHorizontally(int offset) {
  const int limit = std::max(0, TotalColumnWidth() - rows_->GetClientSize().x);
  offset = std::clamp(offset, 0, limit);
  if (offset == x_offset_) return;
  header_->ScrollWindow(x_offset_ - offset, 0);
  x_offset_ = offset;
  if (sideways_->IsShown()) sideways_->SetThumbPosition(offset);
  rows_->Refresh();
}

void CCheckListCtrl::OnModelChange(const kestrelon::ListChange& change) {
  using Kind = kestrelon::ListChange::Kind;
  if (change.kind == Kind::columns) {
    UpdateColumns();
    return;
  }
  if (rows_->GetItemCount() != static_cast<size_t>(model_.row_count()))
    rows_->SetItemCount(static_cast<size_t>(model_.row_count()));
  const int selected = model_.selected_row();
  if (selected != rows_->GetSelection()) rows_->SetSelection(selected);
  rows_->Refresh();
}

wxRect CCheckListCtrl::RowRect(int row) const {
  const int first = static_cast<int>(rows_->GetVisibleRowsBegin());
  const int height = RowHeight();
  const wxRect r(0, (row - first) * height, rows_->GetClientSize().x, height);
  if (row < first || row >= model_.row_count() || r.GetBottom() >= rows_->GetClientSize().y) return {};
  return {r.GetPosition() + rows_->GetPosition(), r.GetSize()};
}

void CCheckListCtrl::SetMinimumColumnText(int column, const std::string& sample) {
  if (column < 0) return;
  if (minimum_texts_.size() <= static_cast<std::size_t>(column)) minimum_texts_.resize(static_cast<std::size_t>(column) + 1);
  minimum_texts_[static_cast<std::size_t>(column)] = sample;
  UpdateColumns();
}

wxString CCheckListCtrl::DrawnCellText(int row, int column) const {
  return wxString::FromUTF8(rows_->Shortened(row, column));
}
